#!/bin/bash
# One test program under Wine, all its cases in one process (the cross
# build's ctest test command, tests/windows.cmake). Wine itself now and then
# dies while starting a process; a run that ends in failure before the
# program printed anything of its own is run once more, and says so. A
# failure after the program started is the program's.
#   wine-suite.sh EXE [ARGUMENTS...]
out=$(mktemp)
trap 'rm -f "$out"' EXIT
name=$(basename "$1" .exe)
for attempt in 1 2; do
  # Passed on as it comes, so that a program stopped at the time limit shows
  # how far it got; through a file, as the services Wine starts keep a pipe open.
  wine "$@" </dev/null >"$out" 2>&1 &
  pid=$!
  tail -n +1 -f -s 0.1 --pid=$pid "$out"
  st=0
  wait $pid || st=$?
  [ "$st" = 0 ] && exit 0
  # gtest_main's first line, or gtest's own banner.
  if grep -q '^Running main()\|^\[==========\]' "$out" || [ "$attempt" = 2 ]; then
    exit "$st"
  fi
  echo "wine: retried $name after a start-up failure (status $st, nothing from the program)"
done
