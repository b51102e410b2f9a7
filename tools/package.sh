#!/usr/bin/env bash
# Lays out the Windows package (called by ./dev package):
#   dist/linoscope3/       the program alone, for a PC with the real TAPI
#   dist/linoscope3-demo/  the program, the simulated PBX and the launcher that chooses it
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WIN=$1
EXE=$WIN/bin/Linoscope3.exe
SIM=$(ls "$WIN"/sim/*.dll "$WIN"/sim/*.DLL 2>/dev/null | head -n 1 || true)
[ -f "$EXE" ] || { echo "The program was not built: $EXE is missing." >&2; exit 1; }
[ -n "$SIM" ] || { echo "The simulator was not built: no DLL in $WIN/sim." >&2; exit 1; }

DIST=$ROOT/dist
rm -rf "$DIST/linoscope3" "$DIST/linoscope3-demo"
mkdir -p "$DIST/linoscope3" "$DIST/linoscope3-demo/scenarios"
cp "$EXE" "$DIST/linoscope3/Linoscope3.exe"
cp "$EXE" "$DIST/linoscope3-demo/Linoscope3.exe"
# Under a name of its own: the launcher chooses it by its full path.
cp "$SIM" "$DIST/linoscope3-demo/PbxSimulator.dll"
sed 's/$/\r/' "$ROOT/tools/Linoscope3-demo.cmd" >"$DIST/linoscope3-demo/Linoscope3-demo.cmd"
cp "$ROOT"/sim/scenarios/*.json "$DIST/linoscope3-demo/scenarios/" 2>/dev/null || true
cp "$ROOT/tools/README-windows.txt" "$DIST/linoscope3/README.txt"
cp "$ROOT/tools/README-windows.txt" "$DIST/linoscope3-demo/README.txt"
# Windows readers expect CR LF.
sed -i 's/$/\r/' "$DIST/linoscope3/README.txt" "$DIST/linoscope3-demo/README.txt"
# Nothing named TAPI32 beside the program in either folder.
if find "$DIST/linoscope3" "$DIST/linoscope3-demo" -iname 'tapi32*' | grep -q .; then
  echo "A TAPI32 file ended up in $DIST; refusing to leave the packages." >&2
  rm -rf "$DIST/linoscope3" "$DIST/linoscope3-demo"
  exit 1
fi
echo "== $DIST/linoscope3: $(ls "$DIST/linoscope3" | tr '\n' ' ')"
echo "== $DIST/linoscope3-demo: $(ls "$DIST/linoscope3-demo" | tr '\n' ' ')"
