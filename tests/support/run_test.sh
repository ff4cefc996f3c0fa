#!/bin/sh
# Runs one test program (ctest runs every test binary through this): fails the run when the
# program ended before its tests finished (test_main.cpp leaves its marker), as a fatal error's
# halt does with exit status 0.
marker=$(mktemp -u "${TMPDIR:-/tmp}/quibbet_test_unfinished.XXXXXX")
QUIBBET_TEST_UNFINISHED=$marker "$@"
status=$?
if [ -e "$marker" ]; then
  rm -f "$marker"
  echo "run_test.sh: the test program ended before its tests finished (exit status $status)" >&2
  [ "$status" -eq 0 ] && status=1
fi
exit $status
