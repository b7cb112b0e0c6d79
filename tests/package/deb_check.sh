#!/usr/bin/env bash
# Checks the Linux package: its desktop entry, AppStream metainfo, udev rule
# and lintian; then (as root) installs it, has the installed program update an
# emulated remote, and removes it again, leaving nothing behind.
# Usage: tests/package/deb_check.sh DEB NATIVE_BUILD_DIR
set -euo pipefail
deb=$(realpath "$1") build=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/reflint-deb-check.XXXXXX)
trap 'rm -rf "$work"' EXIT

dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/reflint.desktop"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml >/dev/null
# Only the package's own places.
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' |
  grep -Ev '^usr/(bin/reflint|lib/reflint/|lib/udev/rules\.d/70-reflint\.rules$|share/(applications/reflint\.desktop|metainfo/|man/man1/reflint(-cli)?\.1\.gz|doc/reflint/|icons/hicolor/[0-9x]+/apps/reflint\.png))' ||
  true)
[[ -z $outside ]] || { echo "files outside the package's places: $outside"; exit 1; }
# The udev rule: udev's own check where it has one (systemd 253 and later),
# else a strict parse of every line.
rule=$work/root/usr/lib/udev/rules.d/70-reflint.rules
[[ -f $rule ]] || { echo "the package has no udev rule $rule"; exit 1; }
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rule" || { echo "udevadm verify refused the udev rule"; exit 1; }
  checked="udevadm verify"
else
  "$here/udev_rule_check.py" "$rule" || { echo "the udev rule is not well formed"; exit 1; }
  checked="udev rule parsed line by line"
fi
if ! lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1; then
  grep -v "running with root privileges" "$work/lintian.log"
  echo "lintian found errors"
  exit 1
fi
echo "ok   desktop-file-validate, appstreamcli validate, $checked, lintian"

# The installed command line too: an emulated boot loader on COM3 of a
# configuration home of its own, updated byte for byte.
cli_update() {
  local cfg=$work/cli-config emu
  mkdir -p "$cfg/reflint-cli/dosdevices"
  "$build/bin/remote-emulator" --family HLX700 --state bootloader --baud 0 \
    --image-out "$work/cli-image.bin" --link "$cfg/reflint-cli/dosdevices/com3" \
    >"$work/cli-emulator.log" 2>&1 &
  emu=$!
  for _ in $(seq 50); do grep -q READY "$work/cli-emulator.log" && break; sleep 0.1; done
  local ok=0
  XDG_CONFIG_HOME=$cfg "$1" update --port 3 --yes --json </dev/null >"$work/cli.jsonl" &&
    cmp -s "$work/cli-image.bin" "$2" || ok=1
  kill "$emu"
  wait "$emu" 2>/dev/null
  if ((ok == 0)); then
    echo "ok   $1 updated an emulated remote byte for byte"
  else
    cat "$work/cli.jsonl"
    echo "$1 did not update the emulated remote"
  fi
  return $ok
}

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  if sudo -n true 2>/dev/null; then sudo=(sudo -n); else
    # The stage's summary then reads "skipped" with this reason, not "ok".
    echo "SKIPPED: installing the package needs root or password-less sudo"; exit 0
  fi
fi
"${sudo[@]}" dpkg -r reflint >/dev/null 2>&1 || true
"${sudo[@]}" dpkg -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
dpkg -L reflint | sort >"$work/files"
grep -qx /usr/lib/udev/rules.d/70-reflint.rules "$work/files" ||
  { echo "dpkg -i installed no /usr/lib/udev/rules.d/70-reflint.rules"; exit 1; }
rc=0
"$here/../gui/gui_session.sh" /usr/bin/python3 "$here/installed_road.py" "$build/bin" || rc=1
cli_update /usr/bin/reflint-cli /usr/lib/reflint/HLX700_V_2_1_0.bin || rc=1
"${sudo[@]}" dpkg -r reflint >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
left=$(grep -E '^/usr/(bin/reflint|lib/reflint|lib/udev/rules\.d/70-reflint|share/.*reflint)' "$work/files" |
  while read -r f; do if [[ -e $f || -L $f ]]; then echo "$f"; fi; done)
[[ -z $left ]] || { echo "left behind after dpkg -r: $left"; exit 1; }
((rc == 0)) && echo "ok   dpkg -i and dpkg -r clean"
exit $rc
