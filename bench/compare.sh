#!/usr/bin/env bash
# Whole-program comparison, measured side by side in one run on this machine:
#   bench/compare.sh [--large] [--against OTHER_LINTAVEL_EXTRACT]
# First checks that lintavel-extract writes exactly what the plain Python reference
# writes, then times it against cat, wc -w, the shell pipeline and the reference on
# the shared corpus concatenated ten times (43 MB). With --large it also makes two
# generated inputs of about 1 GB (32 thousand and 2 million distinct words) and
# measures time and peak memory on them. With --against it only times an earlier
# build of lintavel-extract beside this one on inputs of about 1 GB (the corpus 250
# times, the 2-million-word input, a UTF-8 text with 18% non-ASCII bytes and the
# same text in Windows-1252) and prints the ratios: speed-ups, 2-thread scaling,
# UTF-8 against Windows-1252, start-up against `wc -w`, and the ceiling of reading
# plus a plain byte scan (`wc -l`). Both ways it prints the start-up on a 1 KB file
# against `wc -w` and checks that lintavel-extract loads no Qt.
set -euo pipefail
cd "$(dirname "$0")/.."
large=""
against=""
while [ $# -gt 0 ]; do
  case "$1" in
    --large) large=1 ;;
    --against) against="$(realpath "$2")"; shift ;;
    *) echo "usage: bench/compare.sh [--large] [--against LINTAVEL_EXTRACT]" >&2; exit 2 ;;
  esac
  shift
done
bash scripts/install-deps.sh bench
cmake --preset release > /dev/null
cmake --build --preset release --target lintavel-extract make_corpus engine_stages > /dev/null

extract=build/release/app/lintavel-extract
data=bench/data
mkdir -p "$data"
corpus=../shared/corpus/kjv.txt
x10="$data/kjv_x10.txt"
[ -f "$x10" ] || for i in 1 2 3 4 5 6 7 8 9 10; do cat "$corpus"; done > "$x10"

# Medians of alternating runs (hyperfine runs the commands of one call in turn).
medians() {  # medians JSON: one median in seconds per command, in order
  python3 -c 'import json,sys; print(*[r["median"] for r in json.load(open(sys.argv[1]))["results"]])' "$1"
}
ratio() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]):.2f}')" "$1" "$2"; }
tiny="$data/tiny.txt"
head -c 1024 "$x10" > "$tiny"
# Start-up: a run on 1 KB against `wc -w` on it, both writing to standard output
# (`-o` would add the safe writer's fsync, milliseconds on a disk), and the Qt or
# ICU libraries that the loader brings in (there should be none).
startup() {  # startup [EARLIER_LINTAVEL_EXTRACT]
  local commands=("wc -w $tiny" "$extract $tiny")
  [ -n "${1:-}" ] && commands+=("$1 $tiny")
  hyperfine -N --warmup 20 --runs 300 --export-json "$data/startup.json" "${commands[@]}" > /dev/null
  read -r w n o < <(medians "$data/startup.json")
  ms() { python3 -c "import sys; print(f'{float(sys.argv[1]) * 1e3:.2f} ms')" "$1"; }
  echo "  start-up on 1 KB, medians of 300 (load: $(cut -d' ' -f1-3 /proc/loadavg)): wc -w $(ms "$w"), now $(ms "$n") ($(ratio "$n" "$w")x wc)${o:+, before $(ms "$o") ($(ratio "$o" "$w")x wc)}"
  echo "  Qt or ICU libraries that lintavel-extract loads: $(ldd "$extract" | grep -c -E 'lib(Qt|icu)' || true)"
}

if [ -n "$against" ]; then
  mbps() { python3 -c "import sys; print(f'{float(sys.argv[1]) / float(sys.argv[2]) / 1e6:.0f} MB/s')" "$1" "$2"; }
  kjv="$data/kjv_x250.txt"
  [ -f "$kjv" ] || for i in $(seq 25); do cat "$x10"; done > "$kjv"
  utf8="$data/kjv_x250_utf8.txt"
  cp1252="$data/kjv_x250_cp1252.txt"
  # Written in pieces of 1 MiB: sed writes 4 KiB at a time, and a file written so
  # sits in the page cache in small pieces that read about 1.8 times as slowly.
  [ -f "$utf8" ] || sed 's/e/\xc3\xa9/g; s/a/\xc3\xa4/g' "$kjv" |
    dd of="$utf8" bs=1M iflag=fullblock status=none
  [ -f "$cp1252" ] || iconv -f UTF-8 -t CP1252 "$utf8" |
    dd of="$cp1252" bs=1M iflag=fullblock status=none
  many="$data/generated_2000000.txt"
  [ -f "$many" ] || build/release/bench/make_corpus "$many" $((1024 * 1024 * 1024)) 2000000
  echo "== Against $against (load: $(cut -d' ' -f1-3 /proc/loadavg))"
  for input in "$kjv" "$many" "$utf8"; do
    encoding=cp1252
    [ "$input" = "$utf8" ] && encoding=utf-8
    "$against" --encoding $encoding -o "$data/before.txt" "$input" 2> /dev/null
    "$extract" --encoding $encoding -o "$data/after.txt" "$input" 2> /dev/null
    cmp "$data/before.txt" "$data/after.txt"
    hyperfine -N --warmup 1 --runs 5 --export-json "$data/against.json" \
      "$against --encoding $encoding --threads 2 -o $data/out.txt $input" \
      "$extract --encoding $encoding --threads 2 -o $data/out.txt $input" \
      "$against --encoding $encoding --threads 1 -o $data/out.txt $input" \
      "$extract --encoding $encoding --threads 1 -o $data/out.txt $input" > /dev/null
    read -r b2 a2 b1 a1 < <(medians "$data/against.json")
    size=$(stat -L -c %s "$input")
    echo "$(basename "$input"), identical output; medians of 5:"
    echo "  2 threads: before $b2 s ($(mbps "$size" "$b2")), now $a2 s ($(mbps "$size" "$a2")): $(ratio "$b2" "$a2")x faster"
    echo "  1 thread:  before $b1 s ($(mbps "$size" "$b1")), now $a1 s ($(mbps "$size" "$a1")): $(ratio "$b1" "$a1")x faster"
    echo "  2-thread scaling: before $(ratio "$b1" "$b2"), now $(ratio "$a1" "$a2")"
  done
  for binary in "$against" "$extract"; do
    /usr/bin/time -f "  peak memory on $(basename "$many"), $binary: %M KiB" \
      "$binary" -o $data/out.txt "$many" 2>&1 | tail -n 1
  done
  hyperfine -N --warmup 1 --runs 5 --export-json "$data/against.json" \
    "$extract --encoding utf-8 -o $data/out.txt $utf8" "$extract -o $data/out.txt $cp1252" > /dev/null
  read -r u c < <(medians "$data/against.json")
  echo "  UTF-8 against Windows-1252, the same text: $u s / $c s = $(ratio "$u" "$c")"
  hyperfine -N --warmup 1 --runs 5 --export-json "$data/against.json" \
    "$extract --encoding utf-8 --threads 1 -o $data/out.txt $kjv" \
    "$extract --encoding cp1252 --threads 1 -o $data/out.txt $kjv" \
    "$extract --encoding utf-8 --threads 2 -o $data/out.txt $kjv" \
    "$extract --encoding cp1252 --threads 2 -o $data/out.txt $kjv" > /dev/null
  read -r u1 c1 u2 c2 < <(medians "$data/against.json")
  echo "  UTF-8 against Windows-1252, $(basename "$kjv") (ASCII): 1 thread $(ratio "$u1" "$c1"), 2 threads $(ratio "$u2" "$c2"); UTF-8 2-thread scaling $(ratio "$u1" "$u2")"
  hyperfine -N --warmup 1 --runs 5 --export-json "$data/against.json" \
    "wc -l $kjv" "$extract -o $data/out.txt $kjv" > /dev/null
  read -r ceiling ours < <(medians "$data/against.json")
  echo "  ceiling (wc -l: read and a plain byte scan, 1 core): $(mbps "$(stat -L -c %s "$kjv")" "$ceiling"); the engine, 2 threads: $(mbps "$(stat -L -c %s "$kjv")" "$ours")"
  startup "$against"
  exit 0
fi

echo "== Checking the output against the reference"
"$extract" "$x10" > "$data/ours.txt" 2> "$data/ours.err"
python3 bench/reference_count.py "$x10" > "$data/reference.txt" 2> "$data/reference.err"
cmp "$data/ours.txt" "$data/reference.txt"
cmp "$data/ours.err" "$data/reference.err"
echo "identical: $(wc -l < "$data/ours.txt") words, $(cat "$data/ours.err")"

echo "== Timing on $(stat -c %s "$x10") bytes"
hyperfine -N --warmup 3 --runs 20 --export-markdown "$data/x10.md" \
  "$extract $x10" "cat $x10" "wc -w $x10"
echo "== Start-up"
startup
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

if [ -n "$large" ]; then
  size=$((1024 * 1024 * 1024))
  for vocabulary in 32000 2000000; do
    input="$data/generated_$vocabulary.txt"
    [ -f "$input" ] || build/release/bench/make_corpus "$input" "$size" "$vocabulary"
    echo "== $(stat -L -c %s "$input") bytes, vocabulary $vocabulary"
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

