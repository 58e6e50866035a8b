#!/usr/bin/env bash
# The concordance (--kwic) on the shared corpus concatenated 250 times (1.08 GB),
# on 1 and 2 threads, beside the plain word-list run on the same bytes:
#   bench/kwic.sh
# Before anything is timed, the number of lines of each searched word is checked
# against its count in the word list (folded too), and the 1- and 2-thread outputs
# against each other. The commands run in turn, round after round
# (side_by_side.py). The generated files are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/x250.sh kwic

echo "== Checking the outputs"
"$extract" --counts "$big" 2> /dev/null | tr -d '\r' > "$data/plain.tsv"
"$extract" --counts --fold-case "$big" 2> /dev/null | tr -d '\r' > "$data/folded.tsv"
for word in covenant Lord; do
  listed=$(awk -F '\t' -v w="$word" '$2 == w { print $1 }' "$data/plain.tsv")
  found=$("$extract" --kwic "$word" --format tsv --threads 2 "$big" 2> /dev/null | wc -l)
  [ "$found" -eq "$listed" ] || { echo "$word: $found lines, listed $listed times"; exit 1; }
  folded=$(awk -F '\t' -v w="$word" '$2 == tolower(w) { print $1 }' "$data/folded.tsv")
  found=$("$extract" --kwic "$word" --fold-case --format tsv "$big" 2> /dev/null | wc -l)
  [ "$found" -eq "$folded" ] || { echo "$word folded: $found lines, listed $folded"; exit 1; }
  echo "ok: $word $listed lines, folded $folded"
done
cmp <("$extract" --kwic covenant --threads 1 --format tsv "$big" 2> /dev/null) \
  <("$extract" --kwic covenant --threads 2 --format tsv "$big" 2> /dev/null)

echo "== --kwic on $(stat -c %s "$big") bytes"
python3 bench/side_by_side.py 3 \
  "$extract --threads 2 $big" \
  "$extract --kwic covenant --threads 2 --format tsv $big" \
  "$extract --kwic covenant --threads 1 --format tsv $big" \
  "$extract --kwic Lord --threads 2 --format tsv $big" \
  "$extract --kwic lord --fold-case --threads 2 --format tsv $big" \
  "$extract --kwic Lord --kwic-sort right --threads 2 --format csv $big"
