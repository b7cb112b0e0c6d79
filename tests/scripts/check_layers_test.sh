#!/usr/bin/env bash
# The layer check passes on this tree and fails on a copy of it with one
# include planted that points up.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/check-layers" "$root" || { echo "FAIL: the tree itself breaks the layer order"; exit 1; }

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp "$root/README.md" "$copy/"
cp -r "$root/src" "$copy/src"
echo '#include "ui/upgrade_dlg.h"' >>"$copy/src/catalogue/version_naming.h"
if out=$("$root/scripts/check-layers" "$copy"); then
  echo "FAIL: an upward include from catalogue to ui went unnoticed"; exit 1
fi
grep -q 'src/catalogue/version_naming.h:.*catalogue includes ui' <<<"$out" ||
  { echo "FAIL: the report does not name the file and the layers: $out"; exit 1; }
echo "ok"
