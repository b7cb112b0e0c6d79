#!/usr/bin/env bash
# Screenshot of the Windows program's main window under wine on a virtual
# display, with the sample firmware files beside it:
#   tests/window/win32_screenshot.sh MINGW_BUILD_DIR FIRMWARE_DIR OUTPUT.png
# e.g. tests/window/win32_screenshot.sh build-win32gui build/bin docs/reflint-windows.png
set -euo pipefail
build=$(realpath "$1") firmware=$(realpath "$2") output=$(realpath -m "$3")

folder=$(mktemp -d /tmp/reflint-shot.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$build/bin/Reflint.exe" "$folder/"
cp "$firmware"/*_V_*.bin "$folder/"
if [[ -f $build/bin/Kestra2G.dll ]]; then
  cp "$build"/bin/{Kestra2G.dll,libgcrypt-20.dll,libgpg-error-0.dll} "$folder/"
fi

export folder output
"$(dirname "$0")/win32_display_run.sh" bash -c '
  cd "$folder"
  wine Reflint.exe &
  id=
  for _ in $(seq 600); do
    id=$(xwininfo -root -tree | awk "/\"Reflint\": \\(\"reflint.exe\"/ {print \$1; exit}")
    [[ -n $id ]] && break
    sleep 0.1
  done
  [[ -n $id ]] || { echo "the main window did not appear" >&2; exit 1; }
  sleep 2  # first paint
  import -window "$id" "$output"
'
echo "$output"
