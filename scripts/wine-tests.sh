#!/bin/bash
# The Windows build tested under Wine (a stage of scripts/run-tests.sh):
#  1. the engine, game and shell suites that need no display, cross-built
#     and run by ctest under Wine, one process per program; a crash fails
#     (no crash debugger), a Wine start-up failure is retried once and told;
#  2. the real kelvora3d.exe, installed under C:\Program Files in a Wine
#     prefix whose user is called Zoë, in Xvfb: its title screen against the
#     Linux program's, a game started with the mouse and fired with left
#     Ctrl, Escape until it ends with status 0, and both values saved in
#     %APPDATA%\Kelvora3D\ (the 3D mode as chosen in the menu); the .exe
#     alone in a folder without data/ (one message box on the missing
#     sounds, values in %APPDATA%\Kelvora3D\); a portable tree at its title
#     when the session ends (wineboot --end-session), its values saved;
#  3. the replay harness on a scripted game with the recording driver: the
#     same final state and, bit for bit, the same mixed audio as on Linux;
#  4. the examples (examples/), each driven as the native tests drive it
#     (tests/examples/drive_example.py --wine): its window's picture, a
#     key's effect where it shows one, Escape and status 0.
#   wine-tests.sh NATIVE_BUILD_DIR     (with kelvora3d and replay built)
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$(pwd)
NATIVE=$(cd "${1:-build/test}" && pwd)
W=$SRC/build/wine
JOBS=${JOBS:-2}
t0=$SECONDS
failed=""
fail() { echo "FAILED: $*"; failed="$failed
  $*"; }

deps=$(nice -n 10 ./scripts/build-windows-deps.sh | tail -n 1)
# Optimised lightly: the suites check behaviour, not speed, and -O1 is
# quicker to build than -O3 (floating point is the same: SSE2, no
# contraction in the game's modules).
# Against another set of libraries (a new recipe), configured afresh: the
# cache would keep the old set's paths.
fresh=--fresh
grep -qsx "KV_WINDOWS_DEPS:[A-Z]*=$deps" "$W/build/CMakeCache.txt" && fresh=""
cmake $fresh -S . -B "$W/build" -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64.cmake" -DKV_WINDOWS_DEPS="$deps" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
  -DKV_BENCH=OFF >/dev/null
t1=$SECONDS
nice -n 10 cmake --build "$W/build" -j"$JOBS"
echo "wine: libraries ready in $((t1 - t0)) s, Windows build in $((SECONDS - t1)) s"

# A prefix of our own, made once per build folder. No crash debugger: a
# crashing .exe then ends with a failure status at once.
export WINEPREFIX=$W/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" USER=Zoë
[ -f "$WINEPREFIX/system.reg" ] || { wineboot --init </dev/null >/dev/null 2>&1; wineserver -w; }
# One wineserver for the whole stage, its streams detached from ours:
# otherwise every test waits for it to time out.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f </dev/null >/dev/null 2>&1
[ "$(wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger </dev/null 2>/dev/null |
   tr -d '\r' | awk '$1 == "Debugger" { print NF }')" = 2 ] || { echo "wine: the crash debugger is still set"; exit 1; }

# 1. The suites, one Wine process per program (scripts/wine-suite.sh).
log=$W/ctest.log
t1=$SECONDS
if ctest --test-dir "$W/build" -j"$JOBS" --timeout 300 -V >"$log" 2>&1; then :; else
  # Each failed case with its messages, and the end of a program that died
  # inside a case (ctest -V prefixes a program's lines with its number).
  awk 'match($0, /^[0-9]+: /) {
         k = substr($0, 1, RLENGTH - 2); l = substr($0, RLENGTH + 1)
         if (l ~ /^\[ RUN      \]/) { out[k] = ""; n[k] = 0 }
         if (n[k]++ < 30) out[k] = out[k] l "\n"
         if (l ~ /^\[  FAILED  \] .*\(/) { printf "%s", out[k]; out[k] = "" }
         next }
       match($0, /Test +#[0-9]+:/) && !/ Passed / {
         print; k = substr($0, RSTART, RLENGTH); gsub(/[^0-9]/, "", k); printf "%s", out[k] }
       /tests passed|tests failed/' "$log" | tail -n 150
  fail "test suites under Wine ($log)"
fi
grep -o 'wine: retried .*' "$log" || true
grep -E '^[0-9]+% tests passed' "$log" | sed 's/^/wine: /' || true
awk '/^[0-9]+: \[  PASSED  \] [0-9]+ test/ { passed += $5 } /^[0-9]+: \[  SKIPPED \] [0-9]+ test/ { skipped += $5 }
     END { printf "wine: %d cases passed, %d skipped", passed, skipped }' "$log"
echo " ($((SECONDS - t1)) s)"

# 2. The program, next to the Linux one.
APPDATA_DIR="$WINEPREFIX/drive_c/users/$USER/AppData/Roaming/Kelvora3D"
t1=$SECONDS
if ! XVFB_SCREEN=1024x768x24 ./scripts/with-xvfb.sh ./scripts/wine-program-test.sh "$W/build" "$NATIVE" "$W/program" \
    "$APPDATA_DIR"; then
  fail "kelvora3d.exe under Wine"
fi
echo "wine: the programs took $((SECONDS - t1)) s"

# 3. One scripted game on both systems.
g=$W/replay
rm -rf "$g"
replay_args=$(./scripts/scripted-game.sh "$g" linux windows)
SDL_AUDIODRIVER=dummy "$NATIVE/tools/replay/replay" $replay_args --dir "$g/linux" \
  --audio "$g/linux/audio.wav" --state "$g/linux/state.json" >"$g/linux.log" 2>&1 || fail "replay on Linux"
SDL_AUDIODRIVER=dummy wine "$W/build/tools/replay/replay.exe" $replay_args --dir "$g/windows" \
  --audio "$g/windows/audio.wav" --state "$g/windows/state.json" >"$g/windows.log" 2>&1 || fail "replay under Wine"
for side in linux windows; do (cd "$g/$side" && md5sum state.json audio.wav) | sed "s/^/wine: $side /"; done
if cmp -s "$g/linux/state.json" "$g/windows/state.json"; then
  echo "wine: the scripted game ends in the same state on Linux and under Wine"
else
  diff "$g/linux/state.json" "$g/windows/state.json" | head -20 || true
  fail "the scripted game ends differently on Linux and Windows"
fi
if cmp -s "$g/linux/audio.wav" "$g/windows/audio.wav"; then
  echo "wine: the scripted game sounds the same, bit for bit, on Linux and under Wine"
else
  fail "the scripted game sounds different on Linux and Windows ($(cmp -l "$g/linux/audio.wav" "$g/windows/audio.wav" 2>/dev/null | wc -l) bytes)"
fi

# 4. The examples, each from the folder it is built in (its files beside
# it). The pads example finds no pad here: it shows so and ends cleanly.
t1=$SECONDS
rm -rf "$W/examples"
drive() {  # NAME TITLE [STEPS...]: NAME.exe driven under Wine, in an X server of its own
  local name=$1 title=$2
  shift 2
  SDL_AUDIODRIVER=dummy XVFB_SCREEN=1024x768x24 ./scripts/with-xvfb.sh python3 tests/examples/drive_example.py \
    --wine --timeout 120 --title "$title" --out "$W/examples/$name" "$@" -- "$W/build/examples/$name.exe" ||
    fail "the $name example under Wine ($W/examples/$name)"
}
drive hello Hello
drive sprite Sprite --key space --expect-change --keydown Right --expect-change --keyup Right
drive pads Pads
drive alien_rain "Alien Rain" --key space --expect-change
echo "wine: the examples took $((SECONDS - t1)) s"

echo "wine: stage took $((SECONDS - t0)) s"
[ -z "$failed" ] || { echo "wine stage failed:$failed"; exit 1; }
