#!/usr/bin/env bash
# reflint-cli.exe under wine updates an emulated HLX700 boot loader (the
# native build's remote-emulator) on COM3 of a throwaway wine prefix: its
# JSON lines end in an "updated" result and the remote holds the firmware
# file byte for byte.
#   tests/cli/win32_cli_update.sh NATIVE_BIN_DIR MINGW_BIN_DIR
set -euo pipefail
native=$(realpath "$1") mingw=$(realpath "$2")
here=$(realpath "$(dirname "$0")")
folder=$(mktemp -d /tmp/reflint-cli-win.XXXXXX)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/bin"
cp "$mingw"/{reflint-cli.exe,Kestra2G.dll,libgcrypt-20.dll,libgpg-error-0.dll} "$native"/*_V_*.bin \
  "$folder/bin/"
export folder emulator="$native/remote-emulator" remote_helpers="$here/../window/win32_remote_on_com3.sh"

"$here/../window/win32_display_run.sh" bash -c '
  set -u
  source "$remote_helpers"
  start_remote "$emulator" "$folder/image.bin" "$folder/emulator.log"
  rc=0
  (cd "$folder/bin" && WINEDEBUG=-all wine reflint-cli.exe update --port 3 --yes --json \
    </dev/null >"$folder/out.jsonl") || rc=$?
  stop_remote
  echo "reflint-cli.exe ended with $rc"
  cat "$folder/out.jsonl"
  # wine writes line ends as the program does; a CR would not be JSON text.
  python3 - "$folder/out.jsonl" <<PY || rc=1
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
assert all(l["schema"] == "reflint-cli/1" for l in lines), "a line without its schema"
assert lines and lines[-1]["event"] == "result" and lines[-1]["result"] == "updated", "no success result last"
PY
  for _ in $(seq 50); do [[ -f $folder/image.bin ]] && break; sleep 0.1; done
  if cmp "$folder/image.bin" "$folder/bin/HLX700_V_2_1_0.bin"; then
    echo "COM3 holds HLX700_V_2_1_0.bin byte for byte"
  else
    echo "COM3 does not hold the firmware"
    rc=1
  fi
  exit $rc
'
