#!/usr/bin/env bash
# Installs what is missing, builds Lintavel with its tests, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
