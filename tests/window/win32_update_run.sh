#!/usr/bin/env bash
# Whole update runs of the Windows program under wine, driven by the
# ReflintUpdateRun test through window messages, with an emulated HLX700
# boot loader (the native build's remote-emulator) on COM3 of a throwaway
# wine prefix:
#   1. with the stand-in library from outside (stub_foreign/Kestra2G.dll, a
#      plain C cdecl DLL), when the build has one: it must receive the
#      firmware file byte for byte;
#   2. with our Kestra2G.dll: the remote must end up holding the firmware
#      image byte for byte.
#   tests/window/win32_update_run.sh NATIVE_BIN_DIR MINGW_BIN_DIR
# e.g. tests/window/win32_update_run.sh build/bin build-win32/bin
set -euo pipefail
native=$(realpath "$1") mingw=$(realpath "$2")
firmware=HLX700_V_2_1_0.bin

folder=$(mktemp -d /tmp/reflint-update-run.XXXXXX)
trap 'rm -rf "$folder"' EXIT
roads=(real)
[[ -f $mingw/stub_foreign/Kestra2G.dll ]] && roads=(foreign real)
for road in "${roads[@]}"; do
  mkdir "$folder/$road"
  cp "$mingw"/{Reflint.exe,window_win32_test.exe} "$native"/*_V_*.bin "$folder/$road/"
done
# Our library with the libgcrypt DLLs it loads.
cp "$mingw"/{Kestra2G.dll,libgcrypt-20.dll,libgpg-error-0.dll} "$folder/real/"
[[ -d $folder/foreign ]] && cp "$mingw/stub_foreign/Kestra2G.dll" "$folder/foreign/"

export folder firmware road_list="${roads[*]}" emulator="$native/remote-emulator"
export remote_helpers="$(realpath "$(dirname "$0")")/win32_remote_on_com3.sh"
"$(dirname "$0")/win32_display_run.sh" bash -c '
  set -u
  source "$remote_helpers"
  start_remote "$emulator" "$folder/image.bin" "$folder/emulator.log"
  rc=0
  for road in $road_list; do
    echo "== update road with the $road library"
    copy=$folder/foreign-copy.bin
    (cd "$folder/$road" &&
      REFLINT_UPDATE_PORT=3 REFLINT_STANDIN_COPY="Z:${copy//\//\\}" WINEDEBUG=-all \
        wine window_win32_test.exe --gtest_filter=ReflintUpdateRun.*) || rc=1
    [[ $road == foreign ]] && received=$copy || received=$folder/image.bin
    for _ in $(seq 50); do [[ -f $received ]] && break; sleep 0.1; done
    if cmp "$received" "$folder/$road/$firmware"; then
      echo "$road road: $firmware received byte for byte"
    else
      echo "$road road: the received image differs from $firmware"
      rc=1
    fi
    # The program and our library both write the support log.
    if [[ $road == real ]]; then
      if grep -q "Kestra2G: job: Writing" "$settings/Reflint.log" &&
        grep -q "update run ends: the firmware was updated" "$settings/Reflint.log"; then
        echo "support log: lines of the program and of its library in Reflint.log"
      else
        echo "support log: lines missing"
        cat "$settings/Reflint.log" 2>&1
        rc=1
      fi
    fi
  done
  stop_remote
  if ((rc != 0)); then
    echo "== end of the emulator log"
    tail -n 40 "$folder/emulator.log"
  fi
  exit $rc
'
