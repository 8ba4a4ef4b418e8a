#!/usr/bin/env bash
# End to end: the real viewer, driven through the X server like a user, plays
# a recording of a generated card. Both panes must show pictures of the same
# moment (timestamps within one frame of each other), at normal size and in
# full screen. The viewer reports what its panes were given through
# ORVIN_FRAME_PROBE. Run under an X server of its own (xvfb-run).
#   e2e_playback.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d)
viewer=""
wm=""
cleanup() {
  for pid in $viewer $wm; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  viewer="" wm=""
  rm -rf "$work"
}
trap cleanup EXIT

# A home of its own: no settings, lock or documents of the user's.
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME/Documents" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$bin/orvin-make-card" "$work/card" --quiet --recordings 2 --seconds 10 \
  --front-size 640x360 --rear-size 640x360 >/dev/null

# A window manager, as on a desktop: full screen is its business.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 1

probe=$work/probe.txt
ORVIN_FRAME_PROBE=$probe ORVIN_LANGUAGE=2 "$bin/orvin-viewer" "$work/card" \
  >"$work/viewer.log" 2>&1 &
viewer=$!
# The viewer's own window, not the frame the window manager puts around it.
window=$(timeout 30 xdotool search --sync --onlyvisible --class orvin-viewer | head -1)
sleep 2  # the list loads

# Double-click the first recording of the list, as a user does (the window
# is activated first: the loading popup had the focus).
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool mousemove --window "$window" 800 437 click --repeat 2 --delay 80 1
sleep 4
echo normal-done >>"$probe"
# Return toggles full screen, as on the keyboard (a pointer click that
# xdotool makes under Xvfb does not always reach its button).
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.3
xdotool key --clearmodifiers Return
sleep 4
echo full-done >>"$probe"

# Per mode: samples where both panes showed a picture, and how many of them
# were more than one frame (1/25 s, a little more than 1/30) apart.
status=0
awk '
  /^(normal|full) / && $2 != "-" && $3 != "-" {
    n[$1]++
    d = $2 - $3; if (d < 0) d = -d
    if (d > 0.04) far[$1]++
  }
  END {
    failed = 0
    split("normal full", modes, " ")
    for (i = 1; i <= 2; i++) {
      m = modes[i]
      printf "%s: %d samples with both pictures, %d more than one frame apart\n", m, n[m], far[m] + 0
    }
    if (n["normal"] < 10 || far["normal"] + 0 > n["normal"] / 10) failed++
    if (n["full"] < 10 || far["full"] + 0 > n["full"] / 10) failed++
    printf "%d passed, %d failed\n", 2 - failed, failed
    exit failed > 0
  }' "$probe" || status=$?
cleanup
trap - EXIT
exit "$status"
