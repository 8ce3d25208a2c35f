#!/bin/bash
# The score server on PostgreSQL with its workers in processes of their own:
# a throwaway cluster (PostgreSQL 15, run as nobody on a unix socket in a
# scratch folder), the front with no workers and two --worker processes.
# Several runs are sent, a whole game first; the worker replaying the whole
# game is killed (SIGKILL) in the middle, and every run must still end
# verified, each with one verdict and its scores written once.
#   scripts/test-server-postgres.sh [SERVER [REPLAY [DATA]]]
# (defaults: build/test/server/kelvora3d-scores, build/test/tools/replay/replay,
# data). Exit 77 when PostgreSQL 15 is not installed.
set -eu
cd "$(dirname "$0")/.."
SERVER=$(realpath "${1:-build/test/server/kelvora3d-scores}")
REPLAY=$(realpath "${2:-build/test/tools/replay/replay}")
DATA=$(realpath "${3:-data}")
PG=/usr/lib/postgresql/15/bin
[ -x $PG/initdb ] || { echo "server_postgres: PostgreSQL 15 is not installed ($PG); skipped"; exit 77; }
TIMEOUT=${TIMEOUT:-300}

tmp=$(mktemp -d /tmp/kv-pg-test.XXXXXX)
chmod 755 "$tmp"
groups=()
cleanup() {
  local g
  for g in "${groups[@]}"; do kill -KILL -- "-$g" 2>/dev/null || true; done
  [ -f "$tmp/db/postmaster.pid" ] && as_postgres $PG/pg_ctl -D "$tmp/db" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "server_postgres: FAILED: $*"; for f in "$tmp"/*.log "$tmp"/pglog/*.log; do echo "--- $f"; tail -20 "$f"; done; exit 1; }

# PostgreSQL will not run as root.
as_postgres() { if [ "$(id -u)" = 0 ]; then setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; else "$@"; fi; }
mkdir "$tmp/db" "$tmp/sock" "$tmp/pglog"
[ "$(id -u)" = 0 ] && chown nobody:nogroup "$tmp/db" "$tmp/sock" "$tmp/pglog"
as_postgres $PG/initdb -D "$tmp/db" -U kv -A trust --no-sync >"$tmp/initdb.log" 2>&1 || fail "initdb"
as_postgres $PG/pg_ctl -D "$tmp/db" -w -t 60 -l "$tmp/pglog/postgres.log" \
  -o "-k $tmp/sock -c listen_addresses= -c fsync=off" start >/dev/null || fail "the cluster did not start"
$PG/createdb -h "$tmp/sock" -U kv scores || fail "createdb"
URL="postgresql://kv@/scores?host=$tmp/sock"
sql() { $PG/psql -h "$tmp/sock" -U kv -d scores -XAtq -c "$1"; }

# Each program in a process group of its own, killed with it.
start() {  # LOG ARGS...
  local log=$1; shift
  setsid "$SERVER" "$@" </dev/null >/dev/null 2>"$tmp/$log.log" &
  groups+=($!)
  last=$!
}
# Polls a shell condition until it holds.
wait_for() {  # WHAT CONDITION
  local deadline=$((SECONDS + TIMEOUT))
  until eval "$2"; do
    [ $SECONDS -lt $deadline ] || fail "timed out waiting for $1"
    sleep 0.1
  done
}

start front --database "$URL" --listen 127.0.0.1:0 --workers 0 --data "$DATA"
front=$last
wait_for "the front to listen" 'grep -q "listening on" "$tmp/front.log" 2>/dev/null'
port=$(grep -o '127.0.0.1:[0-9]*' "$tmp/front.log" | head -1 | cut -d: -f2)
start worker1 --worker --workers 1 --database "$URL" --data "$DATA"
worker1=$last
start worker2 --worker --workers 1 --database "$URL" --data "$DATA"
worker2=$last

# The runs: a whole game (fire every 6 frames; its results show before
# frame 17400) and short openings from different clocks.
mkdir -p "$tmp/game/data" && cp "$DATA"/*.ogg "$tmp/game/data/"
{
  printf '2 key down 32\n2 key up 32\n20 mouse move 320 245\n20 mouse down 1\n20 mouse up 1\n'
  for ((f = 21; f < 16100; f += 6)); do printf '%d key down 162\n%d key up 162\n' $f $f; done
} >"$tmp/whole.txt"
head -5 "$tmp/whole.txt" >"$tmp/short.txt"
record() {  # NAME SCRIPT FRAMES CLOCK
  "$REPLAY" --frames "$3" --script "$2" --clock "$4" --dir "$tmp/game" --driver record \
    --state "$tmp/$1.json" --recording "$tmp/$1.kvrec" >/dev/null 2>&1 || fail "recording $1"
}
record whole "$tmp/whole.txt" 17400 9001
for c in 1 2 3 4 5; do record short$c "$tmp/short.txt" 300 $((c * 1000)); done

post() {  # NAME
  local code
  code=$(curl -s -o "$tmp/answer" -w '%{http_code}' -X POST --data-binary "@$tmp/$1.kvrec" \
    -H "X-Kelvora-Secret: $(printf 'c3%.0s' {1..32})" "http://127.0.0.1:$port/api/runs?name=Runner")
  [ "$code" = 202 ] || fail "posting $1 gave $code: $(cat "$tmp/answer")"
}
id_of() { sha256sum "$tmp/$1.kvrec" | cut -c1-64; }
post whole
long=$(id_of whole)
# Whoever takes the whole game is killed while replaying it.
wait_for "a worker to replay the whole game" \
  '[ "$(sql "SELECT status FROM runs WHERE id = '"'$long'"'")" = verifying ]'
taker=$(sql "SELECT worker FROM runs WHERE id = '$long'")
pid=${taker##*:}; pid=${pid%%/*}
case $pid in
  "$worker1") killed=worker1 survivor=worker2 ;;
  "$worker2") killed=worker2 survivor=worker1 ;;
  *) fail "the run is verified by \"$taker\", not one of the workers ($worker1, $worker2)" ;;
esac
for c in 1 2 3 4 5; do post short$c; done
kill -KILL -- "-$pid"
{ wait "$pid"; } 2>/dev/null || true
echo "server_postgres: killed $killed (pid $pid) while it replayed the whole game"

n=6
wait_for "every run to be verified" '[ "$(sql "SELECT count(*) FROM runs WHERE status = '"'verified'"'")" = $n ]'
[ "$(sql "SELECT count(*) FROM runs")" = $n ] || fail "runs were added or lost: $(sql "SELECT id, status FROM runs")"
[ "$(sql "SELECT count(*) FROM jobs")" = 0 ] || fail "jobs are left"
[ "$(sql "SELECT attempts FROM runs WHERE id = '$long'")" = 2 ] || fail "the whole game was not taken over"
score=$(python3 -c 'import json,sys; print(int(json.load(open(sys.argv[1]))["final_score"]))' "$tmp/whole.json")
[ "$(sql "SELECT game, score FROM scores WHERE run = '$long'")" = "0|$score" ] ||
  fail "the whole game's scores are $(sql "SELECT game, score FROM scores WHERE run = '$long'"), not $score"
[ "$(sql "SELECT count(*) FROM scores")" = 1 ] || fail "scores for runs that finished no game"
# One verdict for each run, from the workers still alive; none from the killed one.
for name in whole short1 short2 short3 short4 short5; do
  said=$(cat "$tmp"/worker*.log | grep -c "run $(id_of $name | cut -c1-12) by Runner: verified" || true)
  [ "$said" = 1 ] || fail "$name has $said verdicts"
done
grep -q "verified" "$tmp/$killed.log" && fail "the killed worker gave a verdict"
curl -s "http://127.0.0.1:$port/api/runs/$long" | grep -q "\"scores\":\[$score\]" || fail "the API does not say the score"

# A clean stop of the rest.
survivor_pid=${!survivor}
kill -TERM "$front" "$survivor_pid"
wait "$front" || fail "the front ended with $? on SIGTERM"
wait "$survivor_pid" || fail "the worker ended with $? on SIGTERM"
echo "server_postgres: $n runs verified once each; the whole game taken over after its worker was killed"
