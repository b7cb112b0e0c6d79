#!/usr/bin/env bash
# Runs reflint_gui_test.py on the program in BIN_DIR on a virtual display,
# with a private configuration home.
# Usage: reflint_gui_test.sh BIN_DIR
set -euo pipefail
bin_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT

export XDG_CONFIG_HOME=$config
"$here/gui_session.sh" /usr/bin/python3 "$here/reflint_gui_test.py" "$bin_dir"
