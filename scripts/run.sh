#!/usr/bin/env bash
# Installs what is missing, builds Lintavel and starts it. Arguments are passed on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINTAVEL_BUILD_TESTS=OFF
cmake --build build/app
if [ $# -eq 0 ]; then set -- --help; fi
exec build/app/app/lintavel-extract "$@"
