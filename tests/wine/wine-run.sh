#!/usr/bin/env bash
# Test-only: runs one Windows test program under Wine, for ctest:
#   wine-run.sh WINE PROGRAM [ARGS...]
#
# Now and then Wine fails to start a program at all: it exits within
# milliseconds with a nonzero status and prints nothing (seen once among the
# 308 test programs of one CI run). Such a start is tried again, at most twice,
# and said so on stderr. A program that started (it printed anything) keeps
# its status, so a failing test still fails.
set -u
wine=$1
shift
out=$(mktemp) err=$(mktemp) pid=
trap 'rm -f "$out" "$err"' EXIT
# A time-out ends the program too, and still shows what it printed.
trap 'kill "$pid" 2>/dev/null; cat "$out"; cat "$err" >&2; exit 143' TERM INT
for attempt in 1 2 3; do
  "$wine" "$@" >"$out" 2>"$err" &
  pid=$!
  wait "$pid"
  status=$?
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" -eq 3 ]; then break; fi
  echo "wine-run: Wine did not start $1 (status $status, no output); starting it again" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
