#!/usr/bin/env bash
# Runs COMMAND on a virtual display with a private D-Bus session and the
# accessibility bus ready, so that AT-SPI can read and drive the program.
# Usage: gui_session.sh COMMAND [ARG...]
# With REFLINT_WINDOW_MANAGER=1 openbox runs on the display too, so that
# windows get frames and titles as on a desktop (for pictures).
# The display: virtual_display.sh (a fresh Xvfb that never resets, answering
# before COMMAND starts).
set -euo pipefail
exec "$(dirname "$0")/virtual_display.sh" dbus-run-session -- bash -c '
  # Quiet: the registry it starts announces itself on standard output.
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null &
  launcher=$!
  # The program finds the accessibility bus at start-up: have it ready.
  for _ in $(seq 600); do
    gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
      --method org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.05
  done
  wm=
  if [[ -n ${REFLINT_WINDOW_MANAGER:-} ]]; then
    openbox --sm-disable >/dev/null 2>&1 & wm=$!
    for _ in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
      sleep 0.1
    done
  fi
  rc=0
  "$@" || rc=$?
  [[ -n $wm ]] && kill "$wm" 2>/dev/null
  kill "$launcher" 2>/dev/null
  wait "$launcher" 2>/dev/null
  exit $rc' bash "$@" 2> >(grep -v "^dbus-daemon\|SpiRegistry" >&2)
