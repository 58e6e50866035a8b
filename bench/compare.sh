#!/usr/bin/env bash
# Whole-program comparison, measured side by side in one run on this machine:
#   bench/compare.sh [--large]
# First checks that lintavel-extract writes exactly what the plain Python reference
# writes, then times it against cat, wc -w, the shell pipeline and the reference on
# the shared corpus concatenated ten times (43 MB). With --large it also makes two
# generated inputs of about 1 GB (32 thousand and 2 million distinct words) and
# measures time and peak memory on them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh bench
cmake --preset release > /dev/null
cmake --build --preset release --target lintavel-extract make_corpus engine_stages > /dev/null

extract=build/release/app/lintavel-extract
data=bench/data
mkdir -p "$data"
corpus=../shared/corpus/kjv.txt
x10="$data/kjv_x10.txt"
[ -f "$x10" ] || for i in 1 2 3 4 5 6 7 8 9 10; do cat "$corpus"; done > "$x10"

echo "== Checking the output against the reference"
"$extract" "$x10" > "$data/ours.txt" 2> "$data/ours.err"
python3 bench/reference_count.py "$x10" > "$data/reference.txt" 2> "$data/reference.err"
cmp "$data/ours.txt" "$data/reference.txt"
cmp "$data/ours.err" "$data/reference.err"
echo "identical: $(wc -l < "$data/ours.txt") words, $(cat "$data/ours.err")"

echo "== Timing on $(stat -c %s "$x10") bytes"
hyperfine -N --warmup 3 --runs 20 --export-markdown "$data/x10.md" \
  "$extract $x10" "cat $x10" "wc -w $x10"
echo "== Encodings: the same input read as cp1252, utf-8, auto and (twice the bytes) UTF-16"
u16="$data/kjv_x10_utf16.txt"
[ -f "$u16" ] || iconv -f CP1252 -t UTF-16 "$x10" > "$u16"
"$extract" --encoding utf-8 "$x10" 2>/dev/null | cmp - "$data/reference.txt"
"$extract" --encoding auto --output-encoding cp1252 "$u16" 2>/dev/null |
  cmp - "$data/reference.txt"
hyperfine -N --warmup 3 --runs 20 \
  "$extract $x10" "$extract --encoding utf-8 $x10" "$extract --encoding auto $x10" \
  "$extract --encoding auto $u16"
hyperfine --warmup 1 --runs 5 --export-markdown "$data/x10-slow.md" \
  "tr -s ' ' '\n' < $x10 | tr -d '[:punct:]' | sort | uniq -c | sort -n > /dev/null" \
  "python3 bench/reference_count.py $x10 > /dev/null 2>&1"

echo "== Stages"
build/release/bench/engine_stages --benchmark_min_time=0.2

if [ "${1:-}" = "--large" ]; then
  size=$((1024 * 1024 * 1024))
  for vocabulary in 32000 2000000; do
    input="$data/generated_$vocabulary.txt"
    [ -f "$input" ] || build/release/bench/make_corpus "$input" "$size" "$vocabulary"
    echo "== $(stat -c %s "$input") bytes, vocabulary $vocabulary"
    /usr/bin/time -f "lintavel-extract: %e s elapsed, %U s user, peak memory %M KiB" \
      "$extract" -o "$data/generated_words.txt" "$input"
    /usr/bin/time -f "wc -w: %e s elapsed, peak memory %M KiB" wc -w "$input"
  done
  echo "== One counting thread against two"
  input="$data/generated_32000.txt"
  hyperfine -N --warmup 1 --runs 5 \
    "$extract --threads 1 -o $data/t1.txt $input" "$extract --threads 2 -o $data/t2.txt $input"
  cmp "$data/t1.txt" "$data/t2.txt"
fi
