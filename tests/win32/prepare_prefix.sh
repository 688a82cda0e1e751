#!/bin/sh
# Makes the throw-away Wine prefix the Windows tests run in (once, unless
# scripts/test.sh made it already), and puts every window of the tests on one
# Wine desktop: without a window manager (Xvfb) each top-level window that
# closes otherwise waits for one, up to two seconds per dialog.
#
#   prepare_prefix.sh [WINE]
# WINE is the loader (default: wine); for a 64-bit prefix the 64-bit one,
# /usr/lib/wine/wine64, with WINELOADER naming it too.
set -eu
wine=${1:-wine}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || true
fi
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
wineserver -w
