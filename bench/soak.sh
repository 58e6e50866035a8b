#!/usr/bin/env bash
# The long run: 50 extraction runs of about 100 MB each in the window (offscreen),
# with the results cleared between them, memory checked after every clear; then
# ten runs of the same under the address sanitizer, whose leak check must find
# nothing at the end.
#   bench/soak.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-50}"
bash scripts/install-deps.sh bench
cmake --preset release > /dev/null
cmake --build --preset release --target soak_window make_corpus > /dev/null
input=bench/data/soak_100MB.txt
[ -f "$input" ] || build/release/bench/make_corpus "$input" $((100 * 1024 * 1024)) 500000
echo "== $runs runs; the first 4 let the allocator's thread arenas fill"
build/release/bench/soak_window "$input" "$runs" 4 | tail -n 4
echo "== $runs runs with one allocator arena: back to the first clear's level each time"
MALLOC_ARENA_MAX=1 build/release/bench/soak_window "$input" "$runs" 0 | tail -n 4
echo "== Under the address sanitizer (leaks are reported at exit)"
cmake -S . -B build/asan-soak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINTAVEL_SANITIZE=ON \
  -DLINTAVEL_BUILD_TESTS=OFF -DLINTAVEL_BUILD_BENCHMARKS=ON > /dev/null
cmake --build build/asan-soak --target soak_window > /dev/null
# The sanitizer's quarantine holds freed memory on purpose, so only leaks count here.
ASAN_OPTIONS=detect_leaks=1 build/asan-soak/bench/soak_window "$input" 10 10 | tail -n 2
echo "no leaks reported"
