#!/usr/bin/env bash
# Runs a command (e.g. "wine test.exe") on a private virtual X display in a
# throwaway wine prefix of its own. Wine picks its display driver when a
# prefix's desktop process starts: a prefix started without a display (as
# the one of the other wine tests is) can never make windows, and the tests
# must not touch the developer's desktop either. Needs xvfb.
set -u
if [[ -z ${REFLINT_XVFB_INNER:-} ]]; then
  exec env REFLINT_XVFB_INNER=1 "$(dirname "$0")/../gui/virtual_display.sh" "$0" "$@"
fi

export WINEPREFIX WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all,err+module}
export WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/reflint-win32gui.XXXXXX)
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

wineserver -p || exit 1
wine wineboot --init >/dev/null 2>&1 || exit 1
# No window manager: unmanaged windows do not stall when hidden.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Debian's wine does not find the symbol font of its own caption buttons.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
"$@"
