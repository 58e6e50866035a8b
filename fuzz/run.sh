#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time:
#   fuzz/run.sh [SECONDS]               every target (default 45 s each)
#   fuzz/run.sh --encodings [SECONDS]   the engine and range targets only, once per
#                                       input encoding (cp1252, utf-8, utf-16, auto)
# Exits non-zero on the first finding; the input that caused it is left in
# build/fuzz/findings/. A fixed finding becomes a case in the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=(extraction word_helpers word_break scrambler path_rules range_merge)
if [ "${1:-}" = --encodings ]; then
  runs=(extraction:cp1252 extraction:utf-8 extraction:utf-16 extraction:auto
        range_merge:cp1252 range_merge:utf-8 range_merge:utf-16 range_merge:auto)
  shift
fi
seconds="${1:-45}"
bash scripts/install-deps.sh fuzz
cmake --preset fuzz
targets=()
for run in "${runs[@]}"; do targets+=("${run%%:*}_fuzzer"); done
cmake --build --preset fuzz --target "${targets[@]}"
mkdir -p build/fuzz/findings
# Runs one target for its time; its output goes to build/fuzz/NAME.log.
fuzz_one() {
  local run=$1 target encoding name work max_len
  target="${run%%:*}"
  encoding=""
  [ "$run" != "$target" ] && encoding="${run#*:}"
  name="$target${encoding:+-$encoding}"
  work="build/fuzz/corpus/$name"
  mkdir -p "$work"
  cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true
  max_len=4096
  case "$target" in extraction | range_merge) max_len=2048 ;; esac
  LINTAVEL_FUZZ_ENCODING="$encoding" QT_QPA_PLATFORM=offscreen \
    "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix=build/fuzz/findings/"$name"- \
    "$work" > "build/fuzz/$name.log" 2>&1
}
# One target a core at a time: each is a single process.
at_once=$(nproc)
for ((first = 0; first < ${#runs[@]}; first += at_once)); do
  batch=("${runs[@]:first:at_once}")
  pids=()
  for run in "${batch[@]}"; do
    fuzz_one "$run" &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    status=0
    wait "${pids[$i]}" || status=$?
    run=${batch[$i]}
    name="${run%%:*}"
    [ "$run" != "$name" ] && name="$name-${run#*:}"
    echo "== $name, ${seconds} s"
    log="build/fuzz/$name.log"
    grep -E "^(Done|stat::number_of_executed_units)" "$log" || true
    if [ "$status" -ne 0 ]; then
      tail -n 40 "$log" >&2
      echo "fuzz target $name found a fault (exit $status)" >&2
      exit 1
    fi
  done
done
