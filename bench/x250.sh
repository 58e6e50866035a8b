# Sourced by the bench scripts that time lintavel-extract on the shared corpus
# concatenated 250 times (1.08 GB): builds the release lintavel-extract and sets
#   extract  the program,
#   data     the folder for generated files (LINTAVEL_BENCH_DATA, else bench/data/$1),
#            removed when the script exits,
#   big      the corpus x250 (LINTAVEL_BENCH_X250 names an existing copy; otherwise
#            LINTAVEL_BENCH_CORPUS, or the shared corpus, is concatenated into $data).
cmake --preset release > /dev/null
cmake --build --preset release --target lintavel-extract > /dev/null

extract=build/release/app/lintavel-extract
data=${LINTAVEL_BENCH_DATA:-bench/data/$1}
mkdir -p "$data"
trap 'rm -rf "$data"' EXIT
corpus=${LINTAVEL_BENCH_CORPUS:-../shared/corpus/kjv.txt}
big=${LINTAVEL_BENCH_X250:-$data/kjv_x250.txt}
[ -n "${LINTAVEL_BENCH_X250:-}" ] || for i in $(seq 250); do cat "$corpus"; done > "$big"
