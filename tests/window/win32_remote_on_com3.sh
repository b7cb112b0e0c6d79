# Sourced inside a wine prefix (win32_display_run.sh): the roads a remote
# takes to an update under Windows, one table for the window's and the
# command line's tests. The user's settings name COM3; the native build's
# remote-emulator plays an HLX700 there.
#   road NAME                              sets road_remote, road_asks, road_ends
#   start_remote EMULATOR IMAGE_OUT LOG [STATE OPTIONS...]
#                                          sets $settings and $remote_pid
#   stop_remote
# wine_checked runs a program under wine with the heap checker (the
# Windows builds' sanitizer): every Windows program of a test runs so.
wine_checked=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-checked")

# name | the remote's state options on COM3 ("none": no port there) |
# what the program asks on the way (nothing; reset: the reset prompt, which
# the remote's RESET closes; family: the device choice, answered HLX700) |
# how the run ends (updated: the remote holds the firmware byte for byte;
# not-detected)
update_roads=(
  "bootloader|--state bootloader|nothing|updated"
  # The road most owners take: RESET comes while the program waits for it.
  "reset|--state application --reset-after-ms 1500|reset|updated"
  # A slow remote (a busy boot loader, an adapter's long latency timer):
  # every answer 200 ms late, from the identification through the switch to
  # a faster line and the data.
  "slow-reset|--state application --reset-after-ms 1500 --turnaround-ms 200|reset|updated"
  # No answer to identification; the boot loader, listening since a RESET
  # soon after the first query, is caught by the catch-boot job.
  "catch|--state silent --reset-after-ms 100 --catch-window-ms 60000|family|updated"
  # The saved port is gone: the catch-boot job finds nothing.
  "no-port|none|family|not-detected"
)

road() {
  local row name
  for row in "${update_roads[@]}"; do
    IFS='|' read -r name road_remote road_asks road_ends <<<"$row"
    [[ $name == "$1" ]] && return 0
  done
  echo "no road $1" >&2
  return 1
}

# The names of the roads, in the table's order.
road_names() {
  local row
  for row in "${update_roads[@]}"; do echo "${row%%|*}"; done
}

start_remote() {
  local emulator=$1 image=$2 log=$3
  shift 3
  settings="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Reflint"
  mkdir -p "$settings"
  printf "[Settings]\r\nCOM=3\r\n" >"$settings/Reflint.ini"
  remote_pid=
  rm -f "$WINEPREFIX/dosdevices/com3" "$image"
  (($# == 0)) && set -- --state bootloader
  [[ $1 == none ]] && return 0
  "$emulator" --family HLX700 "$@" --baud 0 --image-out "$image" \
    --link "$WINEPREFIX/dosdevices/com3" >"$log" 2>&1 &
  remote_pid=$!
  for _ in $(seq 100); do grep -q READY "$log" && break; sleep 0.1; done
}

stop_remote() {
  [[ -n $remote_pid ]] || return 0
  kill "$remote_pid"
  wait "$remote_pid" 2>/dev/null
  remote_pid=
}
