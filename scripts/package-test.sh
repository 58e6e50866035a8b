#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian, installs them on this
# machine, tries the installed programs and desktop files, purges the packages and
# checks that nothing of them is left. Needs root (or sudo) and a machine where
# Lintavel is not installed as a package: that one would be purged too.
set -euo pipefail
cd "$(dirname "$0")/.."
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

passed=0
failed=0
check() {  # check NAME COMMAND...: runs the command and counts the outcome
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name" >&2
  fi
}

if dpkg-query -W -f='${Status}' lintavel 2>/dev/null | grep -q "ok installed"; then
  echo "package-test.sh: lintavel is installed as a package here; remove it first" >&2
  exit 2
fi

bash scripts/package.sh
debs=(dist/*.deb)
version=$(dpkg-deb -f dist/lintavel_*.deb Version)
build=build/package

echo "== Desktop files of the repository"
check "desktop entry is valid" desktop-file-validate app/lintavel.desktop
check "metainfo is valid" appstreamcli validate --no-net app/*.metainfo.xml

echo "== lintian"
check "lintian: no errors or warnings" lintian --fail-on error,warning "${debs[@]}"

scratch=$(mktemp -d)
installed=""
cleanup() {
  [ -n "$installed" ] && "${as_root[@]}" apt-get purge -y -qq lintavel > /dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== Install"
# Without the recommended Calc: a test machine has no desktop to show it on.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${debs[@]/#/./}" > "$scratch/apt.log" || { cat "$scratch/apt.log" >&2; exit 1; }
installed=yes
dpkg-query -L lintavel > "$scratch/files"

check "lintavel-extract --version" \
  test "$(lintavel-extract --version)" = "lintavel-extract $version"
check "lintavel --version" test "$(lintavel --version)" = "lintavel $version"

same_words() {  # the installed program on the installed samples, as the build's on the repo's
  lintavel-extract --counts /usr/lib/lintavel/Samples/* > "$scratch/installed.txt" \
    2> "$scratch/installed.err"
  "$build/app/lintavel-extract" --counts samples/* > "$scratch/built.txt" 2> "$scratch/built.err"
  [ -s "$scratch/built.txt" ] && cmp "$scratch/installed.txt" "$scratch/built.txt" &&
    cmp "$scratch/installed.err" "$scratch/built.err"
}
check "installed lintavel-extract on the installed samples" same_words

start_files() {  # the window, started with two files, holds them in its input list
  mkdir -p "$scratch/home" "$scratch/work"
  printf 'one\n' > "$scratch/work/b c.txt"
  (cd "$scratch/work" && HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" \
    QT_QPA_PLATFORM=offscreen LINTAVEL_PRINT_INPUT_LIST=1 \
    timeout 60 lintavel "b c.txt" "/usr/lib/lintavel/Samples/Notes on reading.html") \
    > "$scratch/inputs.txt" 2> "$scratch/inputs.err"
  printf '%s\n' "$scratch/work/b c.txt" "/usr/lib/lintavel/Samples/Notes on reading.html" |
    cmp - "$scratch/inputs.txt"
}
check "window started with two files lists them" start_files
check "installed desktop entry is valid" \
  desktop-file-validate /usr/share/applications/lintavel.desktop
check "installed metainfo is valid" \
  appstreamcli validate --no-net /usr/share/metainfo/com.quorvane.Lintavel.metainfo.xml

complete_words() {  # complete_words WORD...: what the installed completion offers for the last
  # shellcheck disable=SC1091
  source /usr/share/bash-completion/completions/lintavel-extract
  COMP_WORDS=(lintavel-extract "$@")
  COMP_CWORD=${#COMP_WORDS[@]}
  COMP_CWORD=$((COMP_CWORD - 1))
  COMPREPLY=()
  _lintavel_extract
  printf '%s\n' "${COMPREPLY[@]}"
}
completion() {
  local offered help
  offered=$(cd "$scratch/work" && complete_words --encoding u | tr '\n' ' ')
  [ "$offered" = "utf-8 utf-16 " ] || return 1
  offered=$(cd "$scratch/work" && complete_words "b" | tr '\n' ' ')
  [ "$offered" = "b c.txt " ] || return 1
  # Every option that --help names is completed, and no other.
  help=$(lintavel-extract --help | grep -E '^  --?[a-z]' | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u)
  offered=$(complete_words - | grep -v '^--$' | sort -u)
  [ "$help" = "$offered" ] || { diff <(echo "$help") <(echo "$offered") >&2; return 1; }
}
check "bash completion of options, values and file names" completion

echo "== Purge"
"${as_root[@]}" apt-get purge -y -qq lintavel > /dev/null
installed=""
nothing_left() {
  local left=0 path
  ! dpkg-query -W lintavel > /dev/null 2>&1 || { echo "still known to dpkg" >&2; left=1; }
  while IFS= read -r path; do
    # Folders shared with other packages stay; whatever is Lintavel's own must go.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *lintavel* ]]; }; then
      echo "left behind: $path" >&2
      left=1
    fi
  done < "$scratch/files"
  return "$left"
}
check "nothing of the package is left" nothing_left

echo "package tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
