#!/usr/bin/env bash
# Runs the end-to-end tests under Wine (the prefix and the X display come from
# ./dev test win) and turns their screenshots into PNG files.
#   run-e2e.sh TEST_E2E_EXE SHOTS_DIR [gtest arguments]
set -uo pipefail
EXE=$1
SHOTS=$2
shift 2
: "${WINEPREFIX:?WINEPREFIX must point at the Wine prefix inside the build folder}"
export WINEDEBUG=${WINEDEBUG:--all}
# A TAPI32.DLL beside a program is preferred to Wine's own, as Windows would
# prefer it: the test of a planted TAPI32.DLL needs that. (The programs under
# test get the simulator by its full path.) Wine takes this from the Unix
# environment when it starts a process, never from the Windows one the test
# program could hand down.
export WINEDLLOVERRIDES="tapi32=n"
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.bmp "$SHOTS"/*.png
# E2E_ATTEMPT_SECONDS (when set) bounds one run, and E2E_ATTEMPTS runs are
# allowed: once under Wine the program's window thread stopped answering and
# the cause was not found. The tests' own waits are bounded, so such a stall
# now fails its test and says whether the program was busy or blocked; the
# bound here is for anything else. A second failure fails; every failed
# attempt is reported above its retry.
attempts=${E2E_ATTEMPTS:-1}
for ((attempt = 1; attempt <= attempts; ++attempt)); do
  if [ -n "${E2E_ATTEMPT_SECONDS:-}" ]; then
    timeout -k 10 "$E2E_ATTEMPT_SECONDS" wine "$EXE" "$@"
  else
    wine "$EXE" "$@"
  fi
  rc=$?
  # The virtual desktop's explorer and anything a failed test left behind.
  wineserver -k >/dev/null 2>&1 || true
  [ $rc -eq 0 ] && break
  if [ $attempt -lt "$attempts" ]; then
    [ $rc -eq 124 ] && why="did not end within ${E2E_ATTEMPT_SECONDS} s" || why="failed (exit code $rc)"
    echo "== end-to-end attempt $attempt $why; running the suite once more"
  fi
done
for bmp in "$SHOTS"/*.bmp; do
  [ -f "$bmp" ] || continue
  if command -v convert >/dev/null && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null; then
    rm -f "$bmp"
  fi
done
ls "$SHOTS"/*.png >/dev/null 2>&1 && echo "== screenshots: $SHOTS"
exit $rc
