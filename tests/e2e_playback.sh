#!/usr/bin/env bash
# End to end: the real viewer, driven through the X server like a user, plays
# a recording of a generated card. Both panes must show pictures of the same
# moment (timestamps within one frame of each other), at normal size and in
# full screen; the viewer reports what its panes were given, and where they
# are, through ORVIN_FRAME_PROBE. What reached the screen is read from the
# screen itself: after the start, a full-screen round trip, a swap and back,
# zoom on and off and a change of recording, two grabs of each shown pane
# taken apart must differ while it plays. Leaving full screen puts the window
# back where it was. Run under an X server of its own (xvfb-run).
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

"$bin/orvin-make-card" "$work/card" --quiet --recordings 3 --seconds 20 \
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

# moving LABEL: each pane the probe last saw on screen must change between
# two grabs of its rectangle half a second apart.
frozen=0
moving() {
  local label=$1 mode tm ts rect x y w h
  read -r mode tm ts main sub < <(tail -1 "$probe")
  for pane in main sub; do
    rect=${!pane}
    [ -n "$rect" ] && [ "$rect" != "-" ] || continue
    IFS=, read -r x y w h <<<"$rect"
    for shot in a b; do
      ffmpeg -loglevel error -y -f x11grab -video_size "${w}x${h}" -i "$DISPLAY+$x,$y" \
        -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/$pane-$shot.raw"
      sleep 0.5
    done
    if cmp -s "$work/$pane-a.raw" "$work/$pane-b.raw"; then
      echo "$label: the $pane pane does not change on screen"
      frozen=$((frozen + 1))
    else
      echo "$label: the $pane pane plays on screen"
    fi
  done
}
# The centre of a pane's picture (pane: main or sub), from the probe.
centre() {
  local mode tm ts main sub x y w h
  read -r mode tm ts main sub < <(tail -1 "$probe")
  local rect=${!1}
  IFS=, read -r x y w h <<<"$rect"
  echo "$((x + w / 2)) $((y + h / 2)) $((x + 80)) $((y + h + 17))"
}
key() {
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  sleep 0.3
  xdotool key --clearmodifiers "$1"
}

# Double-click the first recording of the list, as a user does (the window
# is activated first: the loading popup had the focus).
xdotool windowactivate --sync "$window" 2>/dev/null || true
sleep 0.5
xdotool mousemove --window "$window" 800 437 click --repeat 2 --delay 80 1
sleep 4
moving start
echo normal-done >>"$probe"
before=$(xdotool getwindowgeometry "$window" | grep Position)
# Return toggles full screen, as on the keyboard (a pointer click that
# xdotool makes under Xvfb does not always reach its button).
key Return
sleep 4
echo full-done >>"$probe"
key Return
sleep 3
moving "full screen and back"
after=$(xdotool getwindowgeometry "$window" | grep Position)
placed=0
if [ "$before" != "$after" ]; then
  echo "back from full screen the window moved: $before, now $after"
  placed=1
fi

# Swap (the button under the small pane) and back.
read -r _ _ sx sy < <(centre sub)
xdotool mousemove "$sx" "$sy" click 1
sleep 1
xdotool mousemove "$sx" "$sy" click 1
sleep 1
moving "swap and back"

# Zoom the large pane (double-click) and back.
read -r mx my _ _ < <(centre main)
xdotool mousemove "$mx" "$my" click --repeat 2 --delay 80 1
sleep 1.5
moving "zoom on"
xdotool mousemove "$mx" "$my" click --repeat 2 --delay 80 1
sleep 1.5
moving "zoom off"

# The next recording (Page Down).
key Next
sleep 4
moving "next recording"

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
[ "$frozen" -eq 0 ] && [ "$placed" -eq 0 ] || status=1
cleanup
trap - EXIT
exit "$status"
