#!/usr/bin/env bash
# Sequences of words (--ngrams) timed side by side with the plain word list on the
# same bytes:
#   bench/ngrams.sh [ROUNDS]
# On the shared corpus concatenated 250 times (1.08 GB): --ngrams 2 (target: at most
# 2.5x the plain run) and --ngrams 3 (at most 3.5x), two counting threads; then
# --ngrams 2 on the generated text with 2,000,000 distinct words (at most 3x), of
# LINTAVEL_BENCH_MANY_BYTES bytes (default 256 MiB: on the whole 1 GiB nearly every
# bigram is new, and the tables of two threads outgrow a shared machine's memory).
# The outputs are checked first; the commands run in turn, round after round
# (side_by_side.py). The generated files are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
cmake --preset release > /dev/null
cmake --build --preset release --target lintavel-extract make_corpus > /dev/null

extract="build/release/app/lintavel-extract --threads 2"
data=${LINTAVEL_BENCH_DATA:-bench/data/ngrams}
mkdir -p "$data"
trap 'rm -rf "$data"' EXIT
corpus=${LINTAVEL_BENCH_CORPUS:-../shared/corpus/kjv.txt}
big=${LINTAVEL_BENCH_X250:-$data/kjv_x250.txt}
[ -n "${LINTAVEL_BENCH_X250:-}" ] || for i in $(seq 250); do cat "$corpus"; done > "$big"
many=$data/many.txt
build/release/bench/make_corpus "$many" "${LINTAVEL_BENCH_MANY_BYTES:-$((256 << 20))}" 2000000

echo "== Checking the outputs"
# One word at a time is the plain list; the bigrams of one copy, 250 times over,
# are those of the 250 copies but for the 249 that join a copy's end to the next.
$extract --counts "$corpus" 2> /dev/null | cmp - <($extract --counts --ngrams 1 "$corpus" 2> /dev/null)
one=$($extract --ngrams 2 --ngram-breaks none "$corpus" 2>&1 >/dev/null | tr -dc 0-9)
all=$($extract --ngrams 2 --ngram-breaks none "$big" 2>&1 >/dev/null | tr -dc 0-9)
[ "$all" -eq $((250 * one + 249)) ]
echo "ok: $one bigrams in one copy, $all in 250"

echo "== Plain words, bigrams and trigrams on $(stat -c %s "$big") bytes, 2 threads"
python3 bench/side_by_side.py "$rounds" \
  "$extract $big" \
  "$extract --ngrams 2 $big" \
  "$extract --ngrams 3 $big"

echo "== Plain words and bigrams on $(stat -c %s "$many") bytes, 2,000,000 distinct words"
python3 bench/side_by_side.py "$rounds" \
  "$extract $many" \
  "$extract --ngrams 2 $many"
