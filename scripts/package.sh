#!/usr/bin/env bash
# Installs what is missing and builds the Debian packages into dist/:
# an optimised build with Debian's own compiler and linker flags, packaged by CPack.
# Install them with:  sudo apt-get install ./dist/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
build=build/package
# Debian's hardening and reproducibility flags, as its own packages are built.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINTAVEL_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=lib \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build"
# dist/ holds only what this script makes: packages of an older version would stand
# beside the new ones in "apt-get install ./dist/*.deb".
rm -f dist/*.deb
(cd "$build" && cpack > cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
ls dist/*.deb
