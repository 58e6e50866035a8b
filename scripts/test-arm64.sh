#!/usr/bin/env bash
# The portable build, proven: the engine, folders/, corpus/, the file writer and
# lintavel-extract built for 64-bit ARM with Debian's cross compiler, their tests
# run under qemu-user, and lintavel-extract on ARM held byte for byte to the same
# program built for this x86-64 host (standard output, standard error, exit status)
# on the shared corpus, the samples and the fuzz seed corpora, with several options.
#   scripts/test-arm64.sh
# The corpus is ../shared/corpus beside the repository; LINTAVEL_CORPUS names another.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
step() { echo "== $1 (at $((SECONDS - started)) s)"; }

bash scripts/install-deps.sh arm64

corpus="${LINTAVEL_CORPUS:-}"
if [ -z "$corpus" ]; then
  for candidate in ../shared/corpus ../../shared/corpus; do
    [ -d "$candidate" ] && corpus="$candidate" && break
  done
fi
if [ -z "$corpus" ] || [ ! -d "$corpus" ]; then
  echo "test-arm64.sh: the shared corpus is not at ../shared/corpus (set LINTAVEL_CORPUS)" >&2
  exit 2
fi

step "Cross build for aarch64 (Qt-free parts and their tests)"
cmake -S . -B build/arm64 -G Ninja --toolchain cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DLINTAVEL_QT_FREE_ONLY=ON -DLINTAVEL_WERROR=ON > /dev/null
cmake --build build/arm64

# LINTAVEL_HOST_EXTRACT names an x86-64 lintavel-extract already built (CI's
# package build), to spare building it again.
host_extract="${LINTAVEL_HOST_EXTRACT:-}"
if [ -z "$host_extract" ]; then
  step "Host build of lintavel-extract to compare with"
  cmake -S . -B build/arm64-host -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLINTAVEL_QT_FREE_ONLY=ON -DLINTAVEL_BUILD_TESTS=OFF -DLINTAVEL_WERROR=ON > /dev/null
  cmake --build build/arm64-host --target lintavel-extract
  host_extract=build/arm64-host/app/lintavel-extract
fi

step "Tests under qemu"
# Left out: the run under prlimit's address-space limits, which bind qemu's own
# reservation of the guest's memory rather than the program's.
ctest --test-dir build/arm64 -j"$(nproc)" --output-on-failure \
  -E '^ExtractBinary\.RunsOutOfMemoryOrThreadsWithAMessageAndNothingDestroyed$'

step "lintavel-extract on ARM against x86-64, byte for byte"
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64)
arm=(env LC_ALL=C.UTF-8 "$qemu" -L /usr/aarch64-linux-gnu build/arm64/app/lintavel-extract)
x86=(env LC_ALL=C.UTF-8 "$host_extract")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The corpus once more as UTF-8 with non-ASCII letters and a few ill-formed bytes,
# and as UTF-16, so that every decoder and its vector forms on x86-64 meet the plain
# forms on ARM over several blocks.
sed 's/e/\xc3\xa9/g; s/a/\xc3\xa4/g; s/LORD/\xe2\x82\xacLORD\xff/g' "$corpus/kjv.txt" \
  > "$scratch/kjv_utf8.txt"
sed 's/\xff//g' "$scratch/kjv_utf8.txt" | iconv -f UTF-8 -t UTF-16 > "$scratch/kjv_utf16.txt"
inputs=()
while IFS= read -r -d '' file; do inputs+=("$file"); done < <(
  find "$corpus" samples fuzz/corpus "$scratch" -type f -print0 | sort -z)
option_sets=(
  ""
  "--encoding utf-8"
  "--encoding auto"
  "--encoding utf-16"
  "--html --encoding auto"
  "--html --fold-case"
  "--fold-case"
  "--fold-case --encoding utf-8"
  "--format tsv --per-file"
  "--format json --encoding auto"
  "--format csv --per-file --encoding utf-8"
  "--sort word --output-encoding utf-8"
)
compared=0
differ=0
compare() {  # compare OPTIONS FILE...: one run on each processor, everything it gives
  local options="$1"
  shift
  local status_arm=0 status_x86=0
  # shellcheck disable=SC2086 # the options are words
  "${arm[@]}" $options "$@" > "$scratch/arm.out" 2> "$scratch/arm.err" || status_arm=$?
  # shellcheck disable=SC2086
  "${x86[@]}" $options "$@" > "$scratch/x86.out" 2> "$scratch/x86.err" || status_x86=$?
  compared=$((compared + 1))
  if [ "$status_arm" != "$status_x86" ] || ! cmp -s "$scratch/arm.out" "$scratch/x86.out" ||
     ! cmp -s "$scratch/arm.err" "$scratch/x86.err"; then
    differ=$((differ + 1))
    echo "DIFFERS: lintavel-extract $options $* (exit $status_arm on ARM, $status_x86 on x86-64)"
    diff "$scratch/x86.err" "$scratch/arm.err" | head -5 || true
    diff <(od -c "$scratch/x86.out") <(od -c "$scratch/arm.out") | head -5 || true
  fi
}
for options in "${option_sets[@]}"; do
  for file in "${inputs[@]}"; do compare "$options" "$file"; done
  compare "$options" "${inputs[@]}"
done
echo "  $compared runs over ${#inputs[@]} files and ${#option_sets[@]} option sets: $differ differ"
[ "$differ" -eq 0 ]
step "Done"
