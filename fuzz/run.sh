#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time:
#   fuzz/run.sh [SECONDS]   (default 45)
# Exits non-zero on the first finding; the input that caused it is left in
# build/fuzz/findings/. A fixed finding becomes a case in the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-45}"
bash scripts/install-deps.sh fuzz
cmake --preset fuzz
cmake --build --preset fuzz
mkdir -p build/fuzz/findings
for target in extraction word_helpers scrambler path_rules; do
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
  echo "== $target, ${seconds} s"
  max_len=4096
  [ "$target" = extraction ] && max_len=2048
  log="build/fuzz/$target.log"
  status=0
  QT_QPA_PLATFORM=offscreen "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix=build/fuzz/findings/"$target"- \
    "$work" > "$log" 2>&1 || status=$?
  grep -E "^(Done|stat::number_of_executed_units)" "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz target $target found a fault (exit $status)" >&2
    exit 1
  fi
done
