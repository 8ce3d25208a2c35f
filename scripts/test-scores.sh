#!/bin/bash
# The score server's stage of make test, on loopback:
#  1. SQLite (tests/scores/score_stage.py): whole games played by the real
#     program on Linux, by the Windows build under Wine and in the page by
#     touch on a phone in headless Chromium, each run sent by the game itself and verified with
#     the score its screen showed; strangers' runs refused;
#  2. a bounded load on the sanitised server (scripts/load-test-server.py):
#     nothing lost, each run verified once (make bench gives the figures).
# The suites (ctest -L server) hold the rest: the API against strangers, and
# PostgreSQL with two workers, one killed in mid-replay.
#   test-scores.sh NATIVE_BUILD_DIR   (after the Windows and browser stages:
#   build/wine/build/kelvora3d.exe and build/web/ are used when present)
set -uo pipefail
cd "$(dirname "$0")/.."
SRC=$(pwd)
NATIVE=$(cd "${1:-build/test}" && pwd)
OUT=$(mktemp -d /tmp/kv-scores.XXXXXX)
status=0
cmake --build "$NATIVE" -j"${JOBS:-2}" --target kelvora3d-scores kelvora3d replay >/dev/null || exit 1

args=(--server "$NATIVE/server/kelvora3d-scores" --replay "$NATIVE/tools/replay/replay"
      --program "$NATIVE/kelvora3d" --out "$OUT/sqlite")
EXE=$SRC/build/wine/build/kelvora3d.exe
if [ -f "$EXE" ] && command -v wine >/dev/null; then
  # The Wine stage's prefix, with its own wineserver for this stage.
  export WINEPREFIX=$SRC/build/wine/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineserver -p </dev/null >/dev/null 2>&1
  trap 'wineserver -k 2>/dev/null || true' EXIT
  args+=(--exe "$EXE")
else
  echo "scores: SKIPPED: no Windows build to play under Wine"
fi
if [ -f build/web/index.html ]; then args+=(--web "$SRC/build/web"); else echo "scores: SKIPPED: no page"; fi
t0=$SECONDS
XVFB_SCREEN=1024x768x24 python3 tests/scores/score_stage.py "${args[@]}" || status=1
echo "scores: SQLite stage $((SECONDS - t0)) s"

t0=$SECONDS
python3 scripts/load-test-server.py --server "$NATIVE/server/kelvora3d-scores" \
  --replay "$NATIVE/tools/replay/replay" --runs 50 --clients 20 || status=1
echo "scores: load test $((SECONDS - t0)) s"
[ $status = 0 ] && rm -rf "$OUT"
exit $status
