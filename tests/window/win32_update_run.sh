#!/usr/bin/env bash
# Whole update runs of the Windows program under wine, driven by the
# ReflintUpdateRun test through window messages, on the roads of
# win32_remote_on_com3.sh (the native build's remote-emulator on COM3 of a
# throwaway wine prefix), every program under wine's heap checker:
#   1. with the stand-in library from outside (stub_foreign/Kestra2G.dll, a
#      plain C cdecl DLL), when the build has one, on the boot loader road:
#      it must receive the firmware file byte for byte;
#   2. with our Kestra2G.dll on every road: the window asks what the road
#      asks and the run ends as the road ends; a remote that is updated
#      holds the firmware image byte for byte.
#   tests/window/win32_update_run.sh NATIVE_BIN_DIR MINGW_BIN_DIR [ROAD...]
# e.g. tests/window/win32_update_run.sh build/bin build-win32/bin reset
set -euo pipefail
native=$(realpath "$1") mingw=$(realpath "$2")
shift 2
firmware=HLX700_V_2_1_0.bin

folder=$(mktemp -d /tmp/reflint-update-run.XXXXXX)
trap 'rm -rf "$folder"' EXIT
libraries=(real)
[[ -f $mingw/stub_foreign/Kestra2G.dll ]] && libraries=(foreign real)
for library in "${libraries[@]}"; do
  mkdir "$folder/$library"
  cp "$mingw"/{Reflint.exe,window_win32_test.exe} "$native"/*_V_*.bin "$folder/$library/"
done
# Our library with the libgcrypt DLLs it loads.
cp "$mingw"/{Kestra2G.dll,libgcrypt-20.dll,libgpg-error-0.dll} "$folder/real/"
[[ -d $folder/foreign ]] && cp "$mingw/stub_foreign/Kestra2G.dll" "$folder/foreign/"

export folder firmware library_list="${libraries[*]}" road_list="$*"
export emulator="$native/remote-emulator" here=$(realpath "$(dirname "$0")")
"$here/win32_display_run.sh" bash -c '
  set -u
  source "$here/win32_remote_on_com3.sh"
  rc=0
  [[ -n $road_list ]] || road_list=$(road_names)
  # library road: one run of the window on it.
  runs=()
  [[ $library_list == foreign* ]] && runs+=("foreign bootloader")
  for name in $road_list; do runs+=("real $name"); done
  for run in "${runs[@]}"; do
    read -r library name <<<"$run"
    road "$name" || { rc=1; continue; }
    echo "== the $name road with the $library library (asks $road_asks, ends $road_ends)"
    image=$folder/image.bin copy=$folder/foreign-copy.bin
    rm -f "$copy"
    start_remote "$emulator" "$image" "$folder/emulator.log" $road_remote
    (cd "$folder/$library" &&
      REFLINT_UPDATE_PORT=3 REFLINT_UPDATE_ASKS=$road_asks REFLINT_UPDATE_ENDS=$road_ends \
        REFLINT_STANDIN_COPY="Z:${copy//\//\\}" WINEDEBUG=-all \
        "$wine_checked" window_win32_test.exe --gtest_filter=ReflintUpdateRun.*) || rc=1
    stop_remote
    [[ $library == foreign ]] && received=$copy || received=$image
    if [[ $road_ends == updated ]]; then
      for _ in $(seq 50); do [[ -f $received ]] && break; sleep 0.1; done
      if cmp "$received" "$folder/$library/$firmware"; then
        echo "$name road, $library library: $firmware received byte for byte"
      else
        echo "$name road, $library library: the received image differs from $firmware"
        rc=1
      fi
    elif [[ -e $received ]]; then
      echo "$name road: an image was written"
      rc=1
    fi
    # The program and our library both write the support log.
    if [[ $library == real && $road_ends == updated ]]; then
      if grep -q "Kestra2G: job: Writing" "$settings/Reflint.log" &&
        grep -q "update run ends: the firmware was updated" "$settings/Reflint.log"; then
        echo "support log: lines of the program and of its library in Reflint.log"
      else
        echo "support log: lines missing"
        cat "$settings/Reflint.log" 2>&1
        rc=1
      fi
      rm -f "$settings/Reflint.log"
    fi
    if ((rc != 0)) && [[ -f $folder/emulator.log ]]; then
      echo "== end of the emulator log"
      tail -n 40 "$folder/emulator.log"
    fi
    rm -f "$folder/emulator.log"
  done
  exit $rc
'
