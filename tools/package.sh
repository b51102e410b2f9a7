#!/usr/bin/env bash
# Makes the Windows packages from the 32-bit and 64-bit builds (called by
# ./dev package), then unpacks and checks them:
#   dist/linoscope3-VERSION-win32.zip, ...-win64.zip  the program and README.txt,
#                                   for a PC with the real TAPI
#   dist/linoscope3-demo-win32/, ...-win64/          the program with the
#                                   simulated PBX (PbxSimulator.dll), the
#                                   launcher that chooses it, and scenarios
#   dist/symbols/VERSION-ARCH/      the unstripped program and simulator, for
#                                   reading a crash report
# usage: tools/package.sh WIN32_BUILD_DIR WIN64_BUILD_DIR
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -eq 2 ] || { echo "usage: $0 WIN32_BUILD_DIR WIN64_BUILD_DIR" >&2; exit 2; }
DIST=$ROOT/dist

# The version CMake gave the version resource.
read_version() {
  [ -f "$1/version.txt" ] || { echo "$1 is not a configured build folder (no version.txt)." >&2; exit 1; }
  tr -d '\r\n' <"$1/version.txt"
}
VERSION=$(read_version "$1")
[ "$(read_version "$2")" = "$VERSION" ] || { echo "The two builds carry different versions." >&2; exit 1; }

# The build's own strip (the cross binutils), from its CMake cache.
strip_tool() {
  sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$1/CMakeCache.txt"
}

# Old layouts and earlier versions' packages go; symbols of earlier versions stay.
rm -rf "$DIST/linoscope3" "$DIST/linoscope3-demo" "$DIST"/linoscope3-demo-win* "$DIST"/linoscope3-*-win*.zip
mkdir -p "$DIST"

# package ARCH BUILD_DIR
package() {
  local arch=$1 build=$2
  local exe=$build/bin/Linoscope3.exe sim=$build/sim/TAPI32.dll strip
  [ -f "$exe" ] || { echo "The program was not built: $exe is missing." >&2; exit 1; }
  [ -f "$sim" ] || { echo "The simulator was not built: $sim is missing." >&2; exit 1; }
  strip=$(strip_tool "$build")
  [ -x "$strip" ] || { echo "No strip tool for $arch in $build/CMakeCache.txt." >&2; exit 1; }

  local symbols=$DIST/symbols/$VERSION-$arch
  rm -rf "$symbols"
  mkdir -p "$symbols"
  cp "$exe" "$symbols/Linoscope3.exe"
  cp "$sim" "$symbols/PbxSimulator.dll"

  local stage
  stage=$(mktemp -d)
  "$strip" --strip-all -o "$stage/Linoscope3.exe" "$exe"
  # Under a name of its own: the demo's launcher chooses it by its full path.
  "$strip" --strip-all -o "$stage/PbxSimulator.dll" "$sim"
  # Windows readers expect CR LF.
  sed 's/$/\r/' "$ROOT/tools/README-windows.txt" >"$stage/README.txt"

  # The zip: the program and README.txt, nothing else.
  python3 - "$DIST/linoscope3-$VERSION-$arch.zip" "$stage/Linoscope3.exe" "$stage/README.txt" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for path in sys.argv[2:]:
        archive.write(path, os.path.basename(path))
PY

  local demo=$DIST/linoscope3-demo-$arch
  mkdir -p "$demo/scenarios"
  cp "$stage/Linoscope3.exe" "$stage/PbxSimulator.dll" "$stage/README.txt" "$demo/"
  sed 's/$/\r/' "$ROOT/tools/Linoscope3-demo.cmd" >"$demo/Linoscope3-demo.cmd"
  cp "$ROOT"/sim/scenarios/*.json "$demo/scenarios/"
  rm -rf "$stage"
}

package win32 "$1"
package win64 "$2"

python3 "$ROOT/tools/check-package.py" "$DIST" "$VERSION"
for f in "$DIST"/linoscope3-"$VERSION"-win*.zip; do
  echo "== $f: $(du -k "$f" | cut -f1) KB"
done
echo "== demo folders: $DIST/linoscope3-demo-win32, $DIST/linoscope3-demo-win64"
echo "== unstripped programs for crash reports: $DIST/symbols/$VERSION-win32, -win64"
