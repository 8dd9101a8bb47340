#!/bin/sh
# Runs a program for `make run` and ends as it ended: usage run_interactive.sh PROGRAM [ARG...]
#
# GNU make (4.3 at least) has a race at Ctrl+C: the terminal sends SIGINT to make and to the
# program at once; when the program dies before make has taken its own signal, make's wait
# reaps it first, then make's signal handler waits again, finds no child and stops with
# "wait: No child processes" and status 2 instead of dying by SIGINT (130). It happens with
# any program, `sleep` included. Here make's child is this shell, which outlives the program
# until make has taken the signal, then dies by the same signal.

# A handler, not an ignored signal: the program starts with the default actions.
trap : INT QUIT
"$@"
status=$?
[ "$status" -gt 128 ] || exit "$status"
sig=$((status - 128))

# Whether the parent still has signal $sig pending (not yet delivered to its handler).
parent_pending() {
  while read -r field mask; do
    case $field in
      SigPnd: | ShdPnd:) [ $((0x$mask >> (sig - 1) & 1)) -eq 1 ] && return 0 ;;
    esac
  done < "/proc/$PPID/status"
  return 1
}

# The parent takes its signal within milliseconds; two seconds cap a loaded machine.
tries=0
while [ -r "/proc/$PPID/status" ] && parent_pending && [ "$tries" -lt 200 ]; do
  sleep 0.01
  tries=$((tries + 1))
done
trap - INT QUIT
kill -s "$sig" $$ 2>/dev/null
exit "$status"
