#!/usr/bin/env bash
# reflint-cli.exe under wine, under wine's heap checker, on the roads of
# tests/window/win32_remote_on_com3.sh (the native build's remote-emulator
# on COM3 of a throwaway wine prefix); --family HLX700 answers the family
# question of the roads that ask it. Its JSON lines end in the road's
# result: "updated" with the remote holding the firmware file byte for
# byte, or "not-identified" with the window's message.
#   tests/cli/win32_cli_update.sh NATIVE_BIN_DIR MINGW_BIN_DIR [ROAD...]
set -euo pipefail
native=$(realpath "$1") mingw=$(realpath "$2")
shift 2
here=$(realpath "$(dirname "$0")")
folder=$(mktemp -d /tmp/reflint-cli-win.XXXXXX)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/bin"
cp "$mingw"/{reflint-cli.exe,Kestra2G.dll,libgcrypt-20.dll,libgpg-error-0.dll} "$native"/*_V_*.bin \
  "$folder/bin/"
export folder emulator="$native/remote-emulator" window="$here/../window" road_list="$*"

"$window/win32_display_run.sh" bash -c '
  set -u
  source "$window/win32_remote_on_com3.sh"
  rc=0
  [[ -n $road_list ]] || road_list=$(road_names)
  for name in $road_list; do
    road "$name" || { rc=1; continue; }
    echo "== the $name road"
    options=(update --port 3 --yes --json)
    [[ $road_asks == family ]] && options+=(--family HLX700)
    start_remote "$emulator" "$folder/image.bin" "$folder/emulator.log" $road_remote
    status=0
    (cd "$folder/bin" && WINEDEBUG=-all "$wine_checked" reflint-cli.exe "${options[@]}" \
      </dev/null >"$folder/out.jsonl") || status=$?
    stop_remote
    echo "reflint-cli.exe ${options[*]} ended with $status"
    cat "$folder/out.jsonl"
    # wine writes line ends as the program does; a CR would not be JSON text.
    python3 - "$folder/out.jsonl" "$road_ends" "$status" <<PY || rc=1
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
ends, status = sys.argv[2], int(sys.argv[3])
assert all(l["schema"] == "reflint-cli/1" for l in lines), "a line without its schema"
last = lines[-1] if lines else {}
if ends == "updated":
    assert status == 0 and last.get("event") == "result" and last.get("result") == "updated", \
        "no success result last"
else:
    assert status == 3 and last.get("event") == "result" and last.get("result") == "not-identified" \
        and last.get("message") == "We could not detect a connected device", "no not-detected result last"
PY
    if [[ $road_ends == updated ]]; then
      for _ in $(seq 50); do [[ -f $folder/image.bin ]] && break; sleep 0.1; done
      if cmp "$folder/image.bin" "$folder/bin/HLX700_V_2_1_0.bin"; then
        echo "$name road: COM3 holds HLX700_V_2_1_0.bin byte for byte"
      else
        echo "$name road: COM3 does not hold the firmware"
        rc=1
      fi
    fi
  done
  exit $rc
'
