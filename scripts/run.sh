#!/usr/bin/env bash
# Installs what is missing, builds Lintavel and starts its window.
# Arguments are passed on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINTAVEL_BUILD_TESTS=OFF
cmake --build build/app
exec build/app/app/lintavel "$@"
