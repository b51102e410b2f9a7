#!/usr/bin/env bash
# Runs a Windows test program under Wine with the build's own prefix.
# WINEPREFIX comes from the caller (./dev sets it inside the build folder).
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must point at the Wine prefix inside the build folder}"
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
