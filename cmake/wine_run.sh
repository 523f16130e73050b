#!/bin/sh
# Runs a Windows test program under Wine ("$@": the loader, the program and its arguments) with its
# output in a file, then prints it and ends with the program's status. A Wine process that the run
# starts and that outlives it (the desktop's explorer, when none was up yet) would otherwise keep
# CTest's output pipe open, and CTest would wait for that process until the test's time limit.
out=$(mktemp) || exit 1
"$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
rm -f "$out"
exit $status
