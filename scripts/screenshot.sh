#!/usr/bin/env bash
# Installs the program, starts the installed window under Xvfb, loads the example
# documents, runs an extraction, and saves a screenshot of the window:
#   scripts/screenshot.sh [OUT.png]   (default: docs/window.png)
# Needs a built program (scripts/run.sh or cmake --build --preset dev); installs it
# from LINTAVEL_BUILD (default build/dev) into LINTAVEL_PREFIX (default /usr/local),
# so that the picture shows the example documents where an installed program has them.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/window.png}"
build="${LINTAVEL_BUILD:-build/dev}"
prefix="${LINTAVEL_PREFIX:-/usr/local}"
missing=()
for tool in xvfb-run:xvfb import:imagemagick xdotool:xdotool; do
  command -v "${tool%%:*}" > /dev/null || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=(); [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
as_root=(); [ "$(id -u)" -ne 0 ] && [ ! -w "$prefix" ] && as_root=(sudo)
"${as_root[@]}" cmake --install "$build" --prefix "$prefix" > /dev/null
program="$prefix/bin/lintavel"
mkdir -p "$(dirname "$out")"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# No desktop setting: the picture is the same on every machine.
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CURRENT_DESKTOP= xvfb-run -a -s "-screen 0 800x700x24" bash -c '
  set -e
  "$0" &
  program=$!
  for i in $(seq 50); do
    window=$(xdotool search --name "^Lintavel$" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
  done
  if [ -z "$window" ]; then echo "screenshot.sh: the window did not appear" >&2; exit 1; fi
  sleep 0.5
  click() {  # click the centre of a button, given in twips
    xdotool mousemove --window "$window" $(( ($1 + $3 / 2) / 15 )) $(( ($2 + 405 / 2) / 15 )) click 1
    sleep 1
  }
  click 4080 3260 3840               # Load Sample/Example Files
  xdotool key --clearmodifiers n      # No, do not open the folder
  sleep 0.5
  click 120 3770 7800                # Start Extracting
  sleep 1
  import -window "$window" "$1.done.png"
  xdotool key --clearmodifiers Return # close "Done."
  sleep 0.5
  import -window "$window" "$1"
  kill $program
' "$program" "$out"
rm -f "$out.done.png"
echo "saved $out"
