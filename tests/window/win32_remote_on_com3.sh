# Sourced inside a wine prefix (win32_display_run.sh): the user's settings
# name COM3, and an emulated HLX700 boot loader, the native build's
# remote-emulator, answers there.
#   start_remote EMULATOR IMAGE_OUT LOG   sets $settings and $remote_pid
#   stop_remote

start_remote() {
  settings="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Reflint"
  mkdir -p "$settings"
  printf "[Settings]\r\nCOM=3\r\n" >"$settings/Reflint.ini"
  "$1" --family HLX700 --state bootloader --baud 0 --image-out "$2" \
    --link "$WINEPREFIX/dosdevices/com3" >"$3" 2>&1 &
  remote_pid=$!
  for _ in $(seq 100); do grep -q READY "$3" && break; sleep 0.1; done
}

stop_remote() {
  kill "$remote_pid"
  wait "$remote_pid" 2>/dev/null
}
