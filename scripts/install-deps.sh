#!/usr/bin/env bash
# Installs the Debian packages that Lintavel needs and that are not installed yet.
# Usage: scripts/install-deps.sh [run|test|bench|fuzz|package|arm64]...   (default: run)
# Safe to run again: it installs nothing when everything is there.
set -euo pipefail

# "a|b" is satisfied by either package and installs the first when neither is there.
# python3-dev and pybind11-dev: the Python module (and its package python3-lintavel)
# is built whenever they are there.
# qt6-charts-dev and qt6-svg-dev: the charts of the statistics window and their SVG export;
# libqt6opengl6-dev: Qt Charts' CMake package needs it and does not pull it in.
build_packages=(cmake ninja-build g++ pkg-config python3 qt6-base-dev libboost1.81-dev libxlsxwriter-dev
                unicode-data fonts-liberation2 python3-dev pybind11-dev libstemmer-dev libre2-dev
                qt6-charts-dev qt6-svg-dev libqt6opengl6-dev)
# qt6-gtk-platformtheme: on a GNOME or Xfce desktop the dialogs are the desktop's own.
run_packages=("${build_packages[@]}" libreoffice-calc qt6-gtk-platformtheme)
test_packages=(googletest libgtest-dev libgmock-dev clang-format debian-faq libicu-dev
               debian-faq-de debian-faq-fr debian-faq-it debian-faq-ru debian-faq-ja debian-faq-zh-cn
               "libreoffice-calc-nogui|libreoffice-calc"
               python3-pytest python3-dask python3-distributed python3-pandas python3-psutil
               python3-hypothesis)
bench_packages=(libbenchmark-dev hyperfine python3)
fuzz_packages=(clang libclang-rt-14-dev)
# The Qt-free parts for 64-bit ARM (scripts/test-arm64.sh): the cross compiler,
# qemu to run its programs, GoogleTest's sources to build for ARM; Boost's headers
# and the generated tables' sources are the host's.
arm64_packages=(cmake ninja-build g++ python3 unicode-data libboost1.81-dev googletest
                g++-aarch64-linux-gnu "qemu-user|qemu-user-static")
# Building the Debian packages and checking them and the desktop files.
package_packages=(dpkg-dev lintian desktop-file-utils appstream)

wanted=()
for group in "${@:-run}"; do
  case "$group" in
    run) wanted+=("${run_packages[@]}") ;;
    test) wanted+=("${build_packages[@]}" "${test_packages[@]}") ;;
    bench) wanted+=("${build_packages[@]}" "${bench_packages[@]}") ;;
    fuzz) wanted+=("${build_packages[@]}" "${fuzz_packages[@]}") ;;
    package) wanted+=("${build_packages[@]}" "${package_packages[@]}") ;;
    arm64) wanted+=("${arm64_packages[@]}") ;;
    *) echo "install-deps.sh: unknown group '$group' (run, test, bench, fuzz, package or arm64)" >&2
       exit 2 ;;
  esac
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for wanted_package in "${wanted[@]}"; do
  found=""
  IFS='|' read -r -a choices <<< "$wanted_package"
  for package in "${choices[@]}"; do
    if installed "$package"; then found=yes; break; fi
  done
  [ -n "$found" ] || missing+=("${choices[0]}")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
