#!/usr/bin/env bash
# The corpus options of lintavel-extract timed side by side with the plain run:
#   bench/corpus_options.sh
# Each option on the shared corpus concatenated 250 times (1.08 GB): --fold-case,
# --stop-list (the 500 most frequent words), --min-count, --top, --format csv|json;
# --html on the same text made into HTML pages, against the plain run on the same
# bytes; --per-file on 10,000 files of about 11 kB. Every output is checked before
# anything is timed. The commands run in turn, round after round (side_by_side.py),
# so that other work on the machine weighs on all alike. The generated files are
# removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/x250.sh corpus_options

echo "== Checking the outputs"
"$extract" --counts "$big" > "$data/plain.tsv" 2> /dev/null
tail -n 500 "$data/plain.tsv" | cut -f 2 > "$data/stop500.txt"
"$extract" --counts --stop-list "$data/stop500.txt" "$big" 2> /dev/null |
  cmp - <(head -n -500 "$data/plain.tsv")
"$extract" --counts --min-count 1000 "$big" 2> /dev/null |
  cmp - <(awk -F '\t' '$1 >= 1000' "$data/plain.tsv")
"$extract" --counts --top 100 "$big" 2> /dev/null | cmp - <(tail -n 100 "$data/plain.tsv")
[ "$("$extract" --format csv "$big" 2> /dev/null | wc -l)" -eq $(($(wc -l < "$data/plain.tsv") + 1)) ]
"$extract" --format json "$big" 2> /dev/null | python3 -c '
import json, sys
doc = json.load(sys.stdin)
assert doc["distinct"] == len(doc["words"]) and doc["total"] == sum(w["count"] for w in doc["words"])'
folded=$("$extract" --fold-case "$big" 2> /dev/null | wc -l)
[ "$folded" -lt "$(wc -l < "$data/plain.tsv")" ]
echo "ok: $(wc -l < "$data/plain.tsv") words, $folded folded"

echo "== Options on $(stat -c %s "$big") bytes"
python3 bench/side_by_side.py 7 \
  "$extract $big" \
  "$extract --fold-case $big" \
  "$extract --stop-list $data/stop500.txt $big" \
  "$extract --min-count 1000 $big" \
  "$extract --top 100 $big" \
  "$extract --format csv $big" \
  "$extract --format json $big"

echo "== --html on HTML pages, against the plain run on the same bytes"
page="$data/kjv_x50.html"
{
  echo '<!DOCTYPE html><html><head><style>p { margin: 0 }</style></head><body>'
  for i in $(seq 50); do
    sed -e 's/&/\&amp;/g; s/</\&lt;/g; s/LORD/<span class="sc">LORD<\/span>/g' \
        -e 's/^\(.*\)$/<p>\1<\/p><!-- verse -->/' "$corpus"
  done
  echo '</body></html>'
} > "$page"
for i in $(seq 50); do cat "$corpus"; done > "$data/x50.txt"
# The same words as the text.
"$extract" --html "$page" 2> /dev/null | cmp - <("$extract" "$data/x50.txt" 2> /dev/null)
rm "$data/x50.txt"
python3 bench/side_by_side.py 7 "$extract $page" "$extract --html $page" \
  "$extract --encoding utf-8 $page" "$extract --encoding utf-8 --html $page"

echo "== --per-file on 10,000 files"
rm "$page"
mkdir -p "$data/files"
for i in $(seq 25); do cat "$corpus"; done > "$data/x25.txt"
split -n l/10000 -a 5 -d "$data/x25.txt" "$data/files/part"
rm "$data/x25.txt"
find "$data/files" -type f | sort > "$data/list.txt"
"$extract" --per-file --counts --files-from "$data/list.txt" 2> /dev/null | tr -d '\r' |
  cut -f 1,2 | cmp - <("$extract" --counts --files-from "$data/list.txt" 2> /dev/null | tr -d '\r')
python3 bench/side_by_side.py 7 \
  "$extract --counts --files-from $data/list.txt" \
  "$extract --per-file --counts --files-from $data/list.txt"
