#!/usr/bin/env bash
# Runs the program under Wine against the simulated PBX (called by ./dev run).
#   tools/run.sh WIN_BUILD_DIR [scenario.json]
# With a display the program's window opens in a Wine virtual desktop;
# without one it runs on a virtual X server, saves a screenshot every few
# seconds and shows the event log growing. Ctrl+C closes the program as its
# window's close button does: it closes its lines and TAPI.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WIN=$1
shift
SCENARIO=${1:-}

EXE=$WIN/bin/Linoscope3.exe
SIM=$WIN/sim/TAPI32.dll
[ -f "$EXE" ] || { echo "The program was not built: $EXE is missing." >&2; exit 1; }
[ -f "$SIM" ] || { echo "The simulator was not built: $SIM is missing." >&2; exit 1; }
if [ -n "$SCENARIO" ]; then
  [ -f "$SCENARIO" ] || { echo "No such scenario: $SCENARIO" >&2; exit 1; }
  SCENARIO=$(realpath "$SCENARIO")
fi

RUN=$WIN/run
mkdir -p "$RUN/scenarios"
cp "$EXE" "$RUN/Linoscope3.exe"
# The simulator under a name of its own, chosen by its full path below: the
# program never takes a TAPI32.DLL just because it lies beside it.
rm -f "$RUN/TAPI32.DLL"
cp "$SIM" "$RUN/PbxSimulator.dll"
cp "$ROOT"/sim/scenarios/*.json "$RUN/scenarios/"
rm -f "$RUN/journal.txt"
touch "$RUN/testlog.csv"

# A prefix of its own, so that ending it never touches a test run's programs.
export WINEPREFIX=$WIN/wineprefix-run
export WINEDEBUG=-all
export WINEARCH=win64
export LINOSCOPE3_TAPI_DLL='Z:'$(printf '%s' "$RUN/PbxSimulator.dll" | tr / '\\')
export LINOSCOPE3_SIM_JOURNAL='Z:'$(printf '%s' "$RUN/journal.txt" | tr / '\\')
if [ -n "$SCENARIO" ]; then
  export LINOSCOPE3_SCENARIO='Z:'$(printf '%s' "$SCENARIO" | tr / '\\')
else
  unset LINOSCOPE3_SCENARIO
fi

XVFB_PID=
WINE_PID=
SHOT=$RUN/screenshot.png

start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  command -v Xvfb >/dev/null || { echo "No display and no Xvfb: install xvfb." >&2; exit 1; }
  # Xvfb picks a free display number itself and tells it through the pipe.
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # Its own session, like the program's: Ctrl+C must not take the display
  # away before the program has closed.
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local num
  read -r -t 30 num <"$fifo" || true
  rm -f "$fifo"
  [ -n "$num" ] || { echo "The virtual X server did not start." >&2; exit 1; }
  export DISPLAY=":$num"
  HEADLESS=1
}

program_running() {
  # The Unix process whose first argument is the program (not the explorer
  # that was told to start it), in this prefix.
  local pid argv0
  for pid in $(pgrep -f 'Linoscope3\.exe' 2>/dev/null || true); do
    argv0=$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1) || continue
    case "${argv0,,}" in *linoscope3.exe) ;; *) continue ;; esac
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      return 0
    fi
  done
  return 1
}

finish() {
  trap - INT TERM
  echo
  if program_running; then
    echo "== closing the program"
    # WM_CLOSE to its window, as the close button does; the program then
    # closes its lines and shuts TAPI down.
    wine explorer /desktop=Linoscope3 taskkill /im Linoscope3.exe >/dev/null 2>&1 || true
    for _ in $(seq 1 60); do
      program_running || break
      sleep 0.5
    done
  fi
  [ -f "$RUN/.tail.pid" ] && kill "$(cat "$RUN/.tail.pid")" 2>/dev/null
  rm -f "$RUN/.tail.pid"
  if [ -s "$RUN/journal.txt" ]; then
    echo "== the simulated PBX saw at the end:"
    grep -E 'lineClose|lineShutdown' "$RUN/journal.txt" | tail -n 20 | tr -d '\r' | sed 's/^/   /'
  fi
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  echo "== event log: $RUN/testlog.csv"
  exit 0
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix in $WINEPREFIX (once; takes a while)"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi

HEADLESS=0
start_display
trap finish INT TERM

cd "$RUN"
echo "== starting Linoscope3 in $RUN"
echo "== scenario: ${SCENARIO:-the built-in office}"
echo "== event log: $RUN/testlog.csv ($(wc -l <testlog.csv) records from earlier runs); Ctrl+C ends the program"
# A session of its own: Ctrl+C in the terminal goes to every process of the
# foreground group, and would kill the program before it could close its lines.
setsid wine explorer /desktop=Linoscope3,1280x800 Linoscope3.exe >/dev/null 2>&1 &
WINE_PID=$!
# The records of this run as they come, without their CRs (the file keeps
# those of earlier runs: the program only ever appends).
( tail -n 0 -f --pid=$$ testlog.csv & echo $! >.tail.pid; wait ) | tr -d '\r' &

# Wait for the program to come up, then watch it until it ends (or Ctrl+C).
for _ in $(seq 1 120); do
  program_running && break
  sleep 0.5
done
while program_running; do
  if [ "$HEADLESS" = 1 ]; then
    # In the background, so that Ctrl+C is answered at once.
    sleep 5 &
    wait $! || true
    if import -display "$DISPLAY" -window root "$SHOT" 2>/dev/null; then
      echo "-- screenshot: $SHOT"
    fi
  else
    sleep 1 &
    wait $! || true
  fi
done
finish
