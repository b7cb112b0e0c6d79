#!/usr/bin/env bash
# Runs COMMAND on a private virtual X display (Xvfb) of its own, with DISPLAY
# and XAUTHORITY set, and stops the server afterwards. Like xvfb-run -a,
# but:
# - -noreset: by default an X server resets when its last client leaves,
#   and a client connecting during the reset is refused ("cannot open the
#   display"). In a GUI session the accessibility bus launcher connects and
#   leaves just before the program starts.
# - -displayfd: the server itself takes a free display number, so displays
#   started at the same time cannot pick the same one.
# - COMMAND starts only once the server answers (xdpyinfo), or this fails
#   within 30 s saying why.
# Usage: virtual_display.sh COMMAND [ARG...]
# REFLINT_SCREEN (default 1024x768x24) is the screen's size and depth.
set -euo pipefail
work=$(mktemp -d /tmp/reflint-display.XXXXXX)
xvfb=
cleanup() {
  if [[ -n $xvfb ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server reads every cookie of its file, whatever display it names; the
# clients look theirs up by display number, known only once the server runs.
cookie=$(mcookie)
touch "$work/server-auth" "$work/auth" "$work/display"
xauth -q -f "$work/server-auth" source - <<<"add :0 . $cookie"
Xvfb -displayfd 3 -screen 0 "${REFLINT_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
  -auth "$work/server-auth" 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
deadline=$((SECONDS + 30))
no_display() {
  local why=
  kill -0 "$xvfb" 2>/dev/null || why="Xvfb ended"
  ((SECONDS < deadline)) || why="no answer within 30 s"
  if [[ -n $why ]]; then
    echo "virtual_display.sh: no virtual display (Xvfb${display:+ on :$display}): $why. Its output:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
}
display=
until display=$(head -n 1 "$work/display") && [[ -n $display ]]; do no_display; done
export DISPLAY=:$display XAUTHORITY=$work/auth
xauth -q -f "$XAUTHORITY" source - <<<"add $DISPLAY . $cookie"
until xdpyinfo >/dev/null 2>&1; do no_display; done

"$@"
