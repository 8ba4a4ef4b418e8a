#!/usr/bin/env bash
# Makes the demo SD card once: recordings in both folder layouts and both
# sensor-track layouts, a camera settings file and a firmware version file.
#   scripts/make-demo-card.sh OUT_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$1
[ -f "$out/.complete" ] && exit 0
maker="$root/build/bin/orvin-make-card"
rm -rf "$out"
echo "Making the demo card in $out (once)..."
"$maker" "$out" --recordings 6 --seconds 30 --front-size 1280x720 --rear-size 854x480 \
  --start "2024-05-17 08:30:00" --quiet
"$maker" "$out/MORE" --recordings 3 --seconds 30 --front-size 1280x720 --rear-size 854x480 \
  --layout folders --sensor type2 --start "2024-05-17 09:00:00" --seed 2 --quiet
touch "$out/.complete"
