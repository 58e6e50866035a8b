#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian, installs them on this
# machine, tries the installed programs and desktop files, purges the packages and
# checks that nothing of them is left. Needs root (or sudo) and a machine where
# neither Lintavel package is installed: it would be purged too.
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

packages=(lintavel python3-lintavel)
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    echo "package-test.sh: $package is installed as a package here; remove it first" >&2
    exit 2
  fi
done

bash scripts/package.sh
for package in "${packages[@]}"; do
  compgen -G "dist/${package}_*.deb" > /dev/null ||
    { echo "package-test.sh: no $package package was built" >&2; exit 1; }
done
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
  [ -n "$installed" ] && "${as_root[@]}" apt-get purge -y -qq "${packages[@]}" > /dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== Install"
# Without the recommended Calc: a test machine has no desktop to show it on.
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${debs[@]/#/./}" > "$scratch/apt.log" || { cat "$scratch/apt.log" >&2; exit 1; }
installed=yes
dpkg-query -L "${packages[@]}" > "$scratch/files"

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

echo "== The Python module"
python=/usr/bin/python3
python_version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
next_version=$("$python" -c 'import sys; print("%d.%d" % (sys.version_info[0], sys.version_info[1] + 1))')
module_dir=/usr/lib/python3/dist-packages/lintavel
extension=$module_dir/_lintavel$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')

python_files() {  # the package holds these files and no others
  local file
  while IFS= read -r file; do [ -d "$file" ] || echo "$file"; done \
    < <(dpkg-query -L python3-lintavel) | sort |
    diff - <(printf '%s\n' "$module_dir/__init__.py" "$extension" "$module_dir/dask.py" \
      /usr/share/doc/python3-lintavel/changelog.gz /usr/share/doc/python3-lintavel/copyright | sort) >&2
}
check "python3-lintavel installs the module where $python finds it, and its documents" python_files
stripped() { ! readelf -S "$1" | grep -q '\.symtab'; }
check "the installed extension is stripped" stripped "$extension"
python_depends() {
  dpkg-query -W -f='${Depends}\n' python3-lintavel |
    grep -qF "python3 (>= $python_version), python3 (<< $next_version)"
}
check "python3-lintavel depends on python3 $python_version, the one it was built for" python_depends

# A small file with Windows-1252 bytes, CR LF, a lone CR and a tab, as lintavel-extract
# counts it and writes its words.
mkdir "$scratch/python"
sample=$scratch/python/sample.txt
printf 'The caf\xe9\x27s cat\r\nthe  cat\tnap, \x805 (cat)\rend\n' > "$sample"
lintavel-extract -o "$scratch/extracted.txt" "$sample" 2> "$scratch/extracted.err" ||
  { echo "lintavel-extract failed on the sample:" >&2; cat "$scratch/extracted.err" >&2; }
total=$(sed -n 's/^Results (Total Word Count: \([0-9]*\))$/\1/p' "$scratch/extracted.err")
written=$(sha256sum "$scratch/extracted.txt" 2> /dev/null | cut -d' ' -f1 || true)

python_says() {  # python_says EXPECTED CODE: the installed module, away from the build tree
  local said
  said=$(cd "$scratch/python" && env -u PYTHONPATH -u PYTHONHOME TMPDIR="$scratch/python" \
    SAMPLE="$sample" "$python" -c "$2" 2> "$scratch/python.err")
  [ "$said" = "$1" ] || { echo "expected '$1', got '$said'" >&2; cat "$scratch/python.err" >&2; return 1; }
}
python_checks=("imported from $module_dir|$module_dir $module_dir|\
import os, lintavel
print(os.path.dirname(lintavel.__file__), os.path.dirname(lintavel._lintavel.__file__))"
  "counts the total of lintavel-extract|$total|\
import os, lintavel
print(lintavel.count([os.environ['SAMPLE']]).total)"
  "writes the bytes of lintavel-extract -o|$written|\
import hashlib, os, lintavel
lintavel.count([os.environ['SAMPLE']]).write('words.txt')
print(hashlib.sha256(open('words.txt', 'rb').read()).hexdigest())")
if dpkg-query -W -f='${Status}' python3-distributed 2>/dev/null | grep -q "ok installed"; then
  python_checks+=("lintavel.dask imports beside python3-distributed|$module_dir/dask.py|\
import lintavel.dask
print(lintavel.dask.__file__)"
    "lintavel.dask counts the total of lintavel-extract in byte ranges|$total|\
import os, distributed, lintavel.dask
with distributed.Client(processes=False, n_workers=2, dashboard_address=None) as client:
    print(lintavel.dask.count([os.environ['SAMPLE']], client=client, chunk_bytes=8).total)")
else
  echo "python3-distributed is not installed: lintavel.dask is not tried"
fi
for row in "${python_checks[@]}"; do
  IFS='|' read -r -d '' name expected code <<< "$row" || true
  check "python3: $name" python_says "$expected" "${code%$'\n'}"
done

echo "== Purge"
"${as_root[@]}" apt-get purge -y -qq "${packages[@]}" > /dev/null
installed=""
nothing_left() {
  local left=0 path package
  for package in "${packages[@]}"; do
    ! dpkg-query -W "$package" > /dev/null 2>&1 || { echo "$package still known to dpkg" >&2; left=1; }
  done
  while IFS= read -r path; do
    # Folders shared with other packages stay; whatever is Lintavel's own must go.
    if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *lintavel* ]]; }; then
      echo "left behind: $path" >&2
      left=1
    fi
  done < "$scratch/files"
  return "$left"
}
check "nothing of the packages is left" nothing_left

echo "package tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
