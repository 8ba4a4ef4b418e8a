#!/usr/bin/env bash
# Takes a screenshot of the viewer's main window under a private X server:
#   scripts/screenshot.sh OUT.png [FOLDER] [-- extra viewer arguments]
# The viewer runs in a throw-away home so the user's settings stay untouched.
# ORVIN_LANGUAGE=2 shows the English interface.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "$1"); shift
home=$(mktemp -d)
trap 'kill $viewer $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
mkdir -p "$home/Documents" "$home/runtime"; chmod 700 "$home/runtime"
if [ -n "${ORVIN_LANGUAGE:-}" ]; then
  mkdir -p "$home/Documents/Orvin Video PlayerDoc/viewersetup"
  printf '[APP]\nLANGUAGE=%s\nLANGUAGE_AUTO=false\n' "$ORVIN_LANGUAGE" \
    > "$home/Documents/Orvin Video PlayerDoc/viewersetup/conf.ini"
fi
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
sleep 1
HOME=$home XDG_RUNTIME_DIR=$home/runtime XDG_CONFIG_HOME=$home/.config DISPLAY=$display \
  "$root/build/bin/orvin-viewer" "$@" >/dev/null 2>&1 & viewer=$!
sleep "${ORVIN_SCREENSHOT_DELAY:-4}"
geometry=$(DISPLAY=$display xwininfo -name "VK7300 Viewer" | awk '
  /Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
  /Width:/ {w=$2} /Height:/ {h=$2} END {print w, h, x, y}')
read -r w h x y <<<"$geometry"
ffmpeg -loglevel error -y -f x11grab -video_size "${w}x${h}" -i "$display+$x,$y" \
  -frames:v 1 "$out"
echo "$out"
