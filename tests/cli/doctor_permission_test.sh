#!/usr/bin/env bash
# reflint-cli doctor run as a user who may not open the port: an emulated
# remote on COM3, its pseudo terminal given to the dialout group with mode
# 0660, and the doctor run as nobody. It must name the port, the permission,
# the device's group and the fix, and exit 3 (no remote answers). Needs root
# (to give the terminal away and become nobody); exits 77, ctest's skip,
# without it.
# Usage: tests/cli/doctor_permission_test.sh BIN_DIR
set -euo pipefail
bin=$(realpath "$1")
[[ $(id -u) -eq 0 ]] || { echo "SKIPPED: needs root to become another user"; exit 77; }
work=$(mktemp -d /tmp/reflint-doctor-test.XXXXXX)
emu=
cleanup() {
  [[ -n $emu ]] && kill "$emu" 2>/dev/null && wait "$emu" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 0755 "$work"
mkdir -p "$work/config/reflint-cli/dosdevices"
chmod -R a+rX "$work/config"
"$bin/remote-emulator" --family HLX700 --state bootloader --baud 0 \
  --link "$work/config/reflint-cli/dosdevices/com3" >"$work/emulator.log" 2>&1 &
emu=$!
for _ in $(seq 50); do grep -q READY "$work/emulator.log" && break; sleep 0.1; done
pty=$(sed -n 's/^READY //p' "$work/emulator.log")
[[ -c $pty ]] || { cat "$work/emulator.log"; echo "the emulator made no terminal"; exit 1; }
chgrp dialout "$pty"
chmod 0660 "$pty"

rc=0
XDG_CONFIG_HOME=$work/config setpriv --reuid=nobody --regid=nogroup --clear-groups \
  "$bin/reflint-cli" doctor --port 3 >"$work/out.txt" 2>"$work/err.txt" || rc=$?
cat "$work/out.txt"
fail=0
expect() {
  grep -qF -- "$1" "$work/out.txt" || { echo "missing: $1"; fail=1; }
}
expect "COM3  $pty"
expect "you (nobody) may not open $pty"
expect "crw-rw---- root:dialout"
expect "you are not in the group dialout"
expect 'sudo usermod -aG dialout $USER, then log out and in again'
expect "No remote answers on any port."
((rc == 3)) || { echo "exit code $rc, not 3"; cat "$work/err.txt"; fail=1; }
# And root, who may open it, finds the remote there.
rc=0
XDG_CONFIG_HOME=$work/config "$bin/reflint-cli" doctor --port 3 >"$work/root.txt" 2>&1 || rc=$?
grep -qF "COM3  $pty: a remote answers: HLX700, boot loader" "$work/root.txt" && ((rc == 0)) ||
  { cat "$work/root.txt"; echo "root: exit code $rc, the remote not named"; fail=1; }
exit $fail
