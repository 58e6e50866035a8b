#!/usr/bin/env bash
# The folder import against find(1), side by side in one run, on a tree of 100,000
# files (1,000 folders with 50 files each and a sub-folder of 50 more), and the
# window measured while it imports the same tree:
#   bench/import_compare.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh bench
cmake --preset release > /dev/null
cmake --build --preset release --target folder_import window_responsiveness > /dev/null
tree=bench/data/tree
if [ ! -d "$tree/d999" ]; then
  for d in $(seq 0 999); do
    mkdir -p "$tree/d$d/sub"
    (cd "$tree/d$d" && touch $(printf 'f%d.txt ' $(seq 0 49)) && cd sub && touch $(printf 'g%d.txt ' $(seq 0 49)))
  done
fi
listed=$(build/release/bench/folder_import "$tree" txt 2>&1 >/dev/null)
found=$(find "$tree" -type f -iname '*.txt' | wc -l)
echo "folder import: $listed; find: $found files"
[ "$listed" = "$found files" ] || { echo "the import listed another number of files" >&2; exit 1; }
hyperfine -N --warmup 2 --runs 10 \
  "build/release/bench/folder_import $tree txt" "find $tree -type f -iname '*.txt'"
build/release/bench/window_responsiveness ../shared/corpus/kjv.txt "$tree"
