#!/usr/bin/env bash
# Runs the program on a virtual display with a private D-Bus session and the
# accessibility bus, and drives it with reflint_gui_test.py.
# Usage: reflint_gui_test.sh BIN_DIR
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT

export XDG_CONFIG_HOME=$config
exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  # The program finds the accessibility bus at start-up: have it ready.
  for _ in $(seq 100); do
    gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
      --method org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.05
  done
  rc=0
  /usr/bin/python3 "$1" "$2" || rc=$?
  kill "$launcher" 2>/dev/null
  wait "$launcher" 2>/dev/null
  exit $rc' bash "$here/reflint_gui_test.py" "$bin_dir" 2> >(grep -v "^dbus-daemon\|SpiRegistry" >&2)
