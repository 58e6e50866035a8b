#!/usr/bin/env bash
# Installs the Debian packages that Lintavel needs and that are not installed yet.
# Usage: scripts/install-deps.sh [run|test|bench|fuzz]...   (default: run)
# Safe to run again: it installs nothing when everything is there.
set -euo pipefail

run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev libboost1.81-dev libxlsxwriter-dev fonts-liberation2)
test_packages=(googletest libgtest-dev libgmock-dev clang-format libreoffice-calc-nogui)
bench_packages=(libbenchmark-dev hyperfine python3)
fuzz_packages=(clang libclang-rt-14-dev)

wanted=()
for group in "${@:-run}"; do
  case "$group" in
    run) wanted+=("${run_packages[@]}") ;;
    test) wanted+=("${run_packages[@]}" "${test_packages[@]}") ;;
    bench) wanted+=("${run_packages[@]}" "${bench_packages[@]}") ;;
    fuzz) wanted+=("${run_packages[@]}" "${fuzz_packages[@]}") ;;
    *) echo "install-deps.sh: unknown group '$group' (run, test, bench or fuzz)" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
