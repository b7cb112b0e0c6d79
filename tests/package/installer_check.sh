#!/usr/bin/env bash
# The Windows installer under wine, in a throwaway prefix: it installs
# silently into %ProgramFiles%\Reflint (files, Start-menu shortcut,
# uninstaller registration); the installed Reflint.exe runs one whole update
# against an emulated HLX700 boot loader on COM3 (the ReflintUpdateRun test)
# and the remote ends up holding the firmware byte for byte; the uninstaller
# removes every file, the shortcut and the registration and leaves the
# user's settings; /D= installs into another folder.
#   tests/package/installer_check.sh SETUP.exe NATIVE_BIN_DIR MINGW_BIN_DIR
set -euo pipefail
setup=$(realpath "$1") native=$(realpath "$2") mingw=$(realpath "$3")

folder=$(mktemp -d /tmp/reflint-installer-check.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$mingw/window_win32_test.exe" "$native"/*_V_*.bin "$folder/"

# uninstall UNINSTALL.exe: runs an uninstaller silently and waits for its
# end. An NSIS uninstaller copies itself into a temporary folder as Au_.exe,
# starts that copy and returns at once; the copy removes the files and the
# shortcut. The prefix's server is persistent (wineserver -w would wait for
# ever), and the copy may not be among the prefix's processes yet when the
# first one has returned: the end is when no uninstaller runs and the
# program's folder is gone. An uninstaller that leaves the folder fails
# after two minutes, naming what it left.
uninstall() {
  local program listing
  program=$(dirname "$(realpath "$1")")
  "$wine_checked" "$1" /S || return 1
  for _ in $(seq 240); do
    listing=$(wine winedbg --command "info process" 2>/dev/null)
    if ! grep -qiE "'(Au_|Uninstall)\.exe'" <<<"$listing" && [[ ! -e $program ]]; then return 0; fi
    sleep 0.5
  done
  echo "the uninstaller did not end, or left behind: $(ls "$program" 2>/dev/null) $listing"
  return 1
}
export -f uninstall

export folder setup emulator="$native/remote-emulator"
export remote_helpers="$(realpath "$(dirname "$0")/../window")/win32_remote_on_com3.sh"
"$(dirname "$0")/../window/win32_display_run.sh" bash -c '
  set -u
  source "$remote_helpers"
  fail() { echo "FAIL: $*"; exit 1; }
  key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Reflint"
  shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Reflint.lnk"
  "$wine_checked" "$setup" /S || fail "the installer failed"
  # %ProgramFiles% as the installer sees it: "Program Files (x86)" for a
  # 32-bit program on 64-bit Windows.
  for where in "Program Files (x86)" "Program Files"; do
    installed="$WINEPREFIX/drive_c/$where/Reflint"
    [[ -d $installed ]] && break
  done
  for f in Reflint.exe Kestra2G.dll libgcrypt-20.dll libgpg-error-0.dll Uninstall.exe LICENSE.txt \
           THIRD-PARTY-NOTICES.txt \
           "$folder"/*_V_*.bin; do
    [[ -f "$installed/$(basename "$f")" ]] || fail "$(basename "$f") not installed"
  done
  [[ -f $shortcut ]] || fail "no Start-menu shortcut"
  for value in DisplayName DisplayVersion Publisher DisplayIcon EstimatedSize UninstallString; do
    wine reg query "$key" /v "$value" /reg:64 >/dev/null 2>&1 ||
      wine reg query "$key" /v "$value" /reg:32 >/dev/null 2>&1 || fail "no $value registered"
  done
  echo "ok   installed silently into C:\\$where\\Reflint"

  start_remote "$emulator" "$folder/image-out.bin" "$folder/emulator.log"
  (cd "$folder" && REFLINT_EXE="C:\\$where\\Reflint\\Reflint.exe" REFLINT_UPDATE_PORT=3 \
    WINEDEBUG=-all "$wine_checked" window_win32_test.exe --gtest_filter=ReflintUpdateRun.* \
    >"$folder/run.log" 2>&1)
  rc=$?
  stop_remote
  ((rc == 0)) || { cat "$folder/run.log"; fail "the update run of the installed program"; }
  cmp -s "$folder/image-out.bin" "$folder/HLX700_V_2_1_0.bin" ||
    fail "the remote does not hold HLX700_V_2_1_0.bin byte for byte"
  echo "ok   the installed Reflint.exe updated the remote: HLX700_V_2_1_0.bin byte for byte"

  uninstall "$installed/Uninstall.exe" || fail "the uninstaller failed"
  [[ ! -e $shortcut ]] || fail "the shortcut left behind"
  ! wine reg query "$key" /reg:64 >/dev/null 2>&1 || fail "the registration left behind"
  ! wine reg query "$key" /reg:32 >/dev/null 2>&1 || fail "the registration left behind"
  [[ -f $settings/Reflint.ini ]] || fail "the user settings removed"
  echo "ok   uninstalled silently: nothing left but the user settings"

  # An administrator names the folder.
  "$wine_checked" "$setup" /S "/D=C:\\Tools\\Reflint" || fail "the installer failed with /D="
  custom="$WINEPREFIX/drive_c/Tools/Reflint"
  [[ -f $custom/Reflint.exe && ! -e $installed ]] || fail "/D= not followed"
  uninstall "$custom/Uninstall.exe" || fail "the uninstaller failed in C:\\Tools\\Reflint"
  echo "ok   installed into the folder named by /D= and uninstalled from there"
'
