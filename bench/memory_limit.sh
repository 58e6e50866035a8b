#!/usr/bin/env bash
# lintavel-extract unbounded and with --memory-limit at a quarter of the unbounded
# run's peak resident memory, side by side, on a generated input with many
# distinct words (bench/make_corpus, fixed seed):
#   bench/memory_limit.sh [SIZE_BYTES [VOCABULARY [ROUNDS]]]
# Each round runs both in turn, so that other work on the machine weighs on both
# alike; prints each run's seconds and peak RSS (GNU time), the spill (--stats)
# and the medians' ratio. The outputs are compared byte for byte first. The
# generated files are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-200000000}
vocabulary=${2:-6000000}
rounds=${3:-3}
cmake --preset release > /dev/null
cmake --build --preset release --target lintavel-extract make_corpus > /dev/null
extract=build/release/app/lintavel-extract
data=$(mktemp -d "${TMPDIR:-/tmp}/lintavel-bench-XXXXXX")
trap 'rm -rf "$data"' EXIT
build/release/bench/make_corpus "$data/in.txt" "$size" "$vocabulary"

# Runs lintavel-extract with "$@" on the input; prints "SECONDS PEAK_KB".
timed() {
  /usr/bin/time -f "%e %M" -o "$data/time" "$extract" -q --stats "$@" -o "$data/out.txt" \
    "$data/in.txt" 2> "$data/err"
  cat "$data/time"
}

read -r _ peak < <(timed)
cp "$data/out.txt" "$data/unbounded.txt"
limit=$((peak / 4))K
timed --memory-limit "$limit" > /dev/null
cmp "$data/out.txt" "$data/unbounded.txt"
echo "input: $(stat -c %s "$data/in.txt") bytes, $vocabulary words of vocabulary"
echo "unbounded peak: ${peak} KB; --memory-limit $limit"
grep spilled "$data/err"
plain=()
bounded=()
for round in $(seq "$rounds"); do
  read -r seconds kb < <(timed)
  plain+=("$seconds")
  echo "round $round unbounded: $seconds s, $kb KB"
  read -r seconds kb < <(timed --memory-limit "$limit")
  bounded+=("$seconds")
  echo "round $round --memory-limit $limit: $seconds s, $kb KB (limit + 64 MiB: $((peak / 4 + 65536)) KB)"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
a=$(median "${plain[@]}")
b=$(median "${bounded[@]}")
echo "median: unbounded $a s, bounded $b s, ratio $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')"
