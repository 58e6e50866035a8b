#!/usr/bin/env bash
# Builds and runs tests/window/statistics_screenshot under Xvfb: the Word Statistics
# window after a run over the example documents, a word selected, its concordance
# and dispersion plot shown:
#   scripts/screenshot-statistics.sh [OUT.png]   (default: docs/word-statistics.png)
# Uses the build in LINTAVEL_BUILD (default build/dev, configured with tests).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/word-statistics.png}")"
build="${LINTAVEL_BUILD:-build/dev}"
command -v xvfb-run > /dev/null || {
  as_root=(); [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends xvfb
}
cmake --build "$build" --target statistics_screenshot > /dev/null
mkdir -p "$(dirname "$out")"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# No desktop setting: the picture is the same on every machine.
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CURRENT_DESKTOP= QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x900x24" "$build/tests/statistics_screenshot" "$out"
