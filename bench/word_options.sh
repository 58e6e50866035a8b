#!/usr/bin/env bash
# The word rules, lemma lists, stemming and list filters of lintavel-extract, timed
# side by side with the default rule on the same bytes:
#   bench/word_options.sh [ROUNDS]
# On the shared corpus concatenated 250 times (1.08 GB, ASCII, so the same bytes are
# UTF-8): --words unicode (target: at most 1.5x the default rule), --lemma-list (a
# list of 200 lemmas over the 1,000 most frequent words) and the filters (--match,
# --exclude, --min-length, --max-length; targets: at most 1.1x), and --stem english
# (target: at most 1.5x). The outputs are checked before anything is timed; the
# commands run in turn, round after round (side_by_side.py), so that other work on
# the machine weighs on all alike. The generated files are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
. bench/x250.sh word_options
extract="$extract --encoding utf-8"

echo "== Checking the outputs"
$extract --counts --words unicode "$big" > "$data/unicode.tsv" 2> "$data/unicode.err"
$extract --counts "$big" > "$data/plain.tsv" 2> "$data/plain.err"
# The 1,000 most frequent words, five forms a lemma: the first of each five is the lemma.
tail -n 1000 "$data/plain.tsv" | cut -f 2 | paste -d ' ' - - - - - |
  awk '{ print $1 " -> " $2 ", " $3 ", " $4 ", " $5 }' > "$data/lemmas.txt"
$extract --counts --lemma-list "$data/lemmas.txt" "$big" > "$data/lemmas.tsv" 2> "$data/lemmas.err"
# Grouping changes the words, never the total.
cmp "$data/plain.err" "$data/lemmas.err"
[ "$(wc -l < "$data/lemmas.tsv")" -eq $(($(wc -l < "$data/plain.tsv") - 800)) ]
$extract --counts --match '^[a-z]' --exclude 'eth$' --min-length 3 --max-length 12 "$big" \
  2> /dev/null | cmp - <(awk -F '\t' '{ w = $2; sub(/\r$/, "", w) }
    w ~ /^[a-z]/ && w !~ /eth$/ && length(w) >= 3 && length(w) <= 12' "$data/plain.tsv")
echo "ok: $(wc -l < "$data/plain.tsv") words by the default rule," \
  "$(wc -l < "$data/unicode.tsv") by the Unicode rule"

echo "== Word rules, lemma lists, filters and stemming on $(stat -c %s "$big") bytes"
python3 bench/side_by_side.py "$rounds" \
  "$extract $big" \
  "$extract --words unicode $big" \
  "$extract --lemma-list $data/lemmas.txt $big" \
  "$extract --match '^[a-z]' --exclude 'eth\$' --min-length 3 --max-length 12 $big" \
  "$extract --stem english $big" \
  "$extract --words unicode --split-elisions $big"
