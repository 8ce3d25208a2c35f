#!/bin/sh
# The Wayland stage of `make test`: the real program, built in BUILD_DIR
# (default build/test), on a headless sway with its CPU renderer, played
# through virtual input (tests/wayland/). Screenshots and the program's
# recordings stay in BUILD_DIR/wayland-stage/.
#
# sway will not run as root: as root the compositor runs as nobody, the
# clients (the program among them) stay as they are. XWayland is off, and
# DISPLAY is unset, so nothing can fall back to X11.
set -e
cd "$(dirname "$0")/.."
BUILD=${1:-build/test}
OUT=$BUILD/wayland-stage
W=1280 H=960
start=$(date +%s)
for tool in sway swaymsg grim "$BUILD/kelvora3d" "$BUILD/tools/replay/replay" "$BUILD/tests/wayland/wl_input"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "Wayland stage: $tool is missing" >&2; exit 1; }
done
rm -rf "$OUT"
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
run=$(mktemp -d)
chmod 0755 "$run"
sway_pid=""
cleanup() {
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null && wait "$sway_pid" 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT INT TERM

# The title screen as the OpenGL driver draws it under Xvfb, to compare with.
mkdir -p "$run/ref/data"
printf '2 key down 32\n2 key up 32\n1 mouse move 320 245\n' >"$run/ref/title.txt"
./scripts/with-xvfb.sh "$BUILD/tools/replay/replay" --driver gl --clock 1000 --dir "$run/ref" --frames 12 \
  --script "$run/ref/title.txt" --shot "12:$OUT/title-xvfb.png" >/dev/null

export XDG_RUNTIME_DIR="$run/xdg"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
as_user=""
if [ "$(id -u)" = 0 ]; then
  chown 65534:65534 "$XDG_RUNTIME_DIR"
  as_user="setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/nonexistent"
fi
cat >"$run/sway.cfg" <<EOF
output HEADLESS-1 resolution ${W}x${H} position 0,0 bg #202020 solid_color
xwayland disable
default_border none
default_floating_border none
for_window [app_id=".*"] floating enable
EOF
WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=1 WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  $as_user sway -c "$run/sway.cfg" >"$OUT/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 200); do
  kill -0 $sway_pid 2>/dev/null || { echo "Wayland stage: sway did not start" >&2; tail -5 "$OUT/sway.log" >&2; exit 1; }
  ls "$XDG_RUNTIME_DIR"/wayland-[0-9] >/dev/null 2>&1 && ls "$XDG_RUNTIME_DIR"/sway-ipc.* >/dev/null 2>&1 && break
  sleep 0.1
done
WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-[0-9] | head -n 1)")
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.* | head -n 1)
export WAYLAND_DISPLAY SWAYSOCK

status=0
/usr/bin/python3 tests/wayland/stage.py "$BUILD/kelvora3d" "$BUILD/tests/wayland" "$OUT/title-xvfb.png" "$OUT" $W $H ||
  status=1
echo "Wayland stage: $(($(date +%s) - start)) s"
exit $status
