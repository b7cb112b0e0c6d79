#!/usr/bin/env bash
# One whole update run of the Windows program under wine: an emulated HLX700
# boot loader (the native build's remote-emulator) on COM3 of a throwaway
# wine prefix, Reflint.exe with Kestra2G.dll and the sample firmware, driven
# by the ReflintUpdateRun test through window messages.
#   tests/window/win32_update_run.sh NATIVE_BUILD_DIR MINGW_BUILD_DIR
# e.g. tests/window/win32_update_run.sh build build-win32gui
set -euo pipefail
native=$(realpath "$1") mingw=$(realpath "$2")

folder=$(mktemp -d /tmp/reflint-update-run.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$mingw"/bin/{Reflint.exe,Kestra2G.dll,window_win32_test.exe} "$native"/bin/*_V_*.bin "$folder/"

export folder emulator="$native/bin/remote-emulator"
"$(dirname "$0")/win32_display_run.sh" bash -c '
  set -u
  settings="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Reflint"
  mkdir -p "$settings"
  printf "[Settings]\r\nCOM=3\r\n" >"$settings/Reflint.ini"
  "$emulator" --family HLX700 --state bootloader --baud 0 \
    --link "$WINEPREFIX/dosdevices/com3" >"$folder/emulator.log" 2>&1 &
  emulator_pid=$!
  for _ in $(seq 100); do grep -q READY "$folder/emulator.log" && break; sleep 0.1; done
  cd "$folder"
  REFLINT_UPDATE_PORT=3 WINEDEBUG=-all wine window_win32_test.exe \
    --gtest_filter=ReflintUpdateRun.*
  rc=$?
  kill "$emulator_pid"
  wait "$emulator_pid" 2>/dev/null
  exit $rc
'
