#!/usr/bin/env bash
# The layer check passes on this tree, and on copies of it fails for each
# way a file or a CMake target can reach above its layer, naming the place;
# uses that point down, planted the same ways, still pass.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/check-layers" "$root" || { echo "FAIL: the tree itself breaks the layer order"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cases=0 failures=0

# plant WANT FILE TEXT [FILE TEXT]...: on a fresh copy of the tree, each TEXT
# (\n for a new line) is added at the end of its FILE (new or not); then the
# check must pass (WANT "pass"), or fail with a line matching the
# extended regular expression WANT.
plant() {
  local want=$1 copy=$work/tree out rc
  shift
  cases=$((cases + 1))
  rm -rf "$copy"
  mkdir -p "$copy"
  cp "$root/README.md" "$copy/"
  cp -r "$root/src" "$copy/src"
  while (($#)); do
    printf '\n%b\n' "$2" >>"$copy/$1"
    shift 2
  done
  out=$("$root/scripts/check-layers" "$copy" 2>&1)
  rc=$?
  if [[ $want == pass ]]; then
    ((rc == 0)) && return
    echo "FAIL: a use that points down was refused: $out"
  else
    ((rc == 1)) && grep -qE -- "$want" <<<"$out" && return
    echo "FAIL: expected a failure matching '$want', got $rc: $out"
  fi
  failures=$((failures + 1))
}

up='a layer above it'
# Includes, in every form the compiler accepts.
plant "^src/catalogue/version_naming.h:[0-9]+: catalogue includes ui, $up" \
  src/catalogue/version_naming.h '#include "ui/upgrade_dlg.h"'
plant "^src/core/device_family.cpp:[0-9]+: core includes identify, $up" \
  src/core/device_family.cpp '#include <identify/device_choice.h>'
plant "^src/catalogue/firmware_catalogue.cpp:[0-9]+: catalogue includes run, $up" \
  src/catalogue/firmware_catalogue.cpp '#include "../run/cthread.h"'
plant "^src/catalogue/tools/firmware_list_main.cpp:[0-9]+: catalogue includes app, $up" \
  src/catalogue/tools/firmware_list_main.cpp '  #  include "../../app/upgrade_app.h"'
plant "^src/core/update_run_state.inl:[0-9]+: core includes ui, $up" \
  src/core/update_run_state.inl '#include "ui/about_dlg.h"'
plant "^src/platform/serial_port_extra.cc:[0-9]+: platform includes window, $up" \
  src/platform/serial_port_extra.cc '#include <window/dialog.h>'
plant "^src/ui/reflint.rc:[0-9]+: ui includes app, $up" \
  src/ui/reflint.rc '#include "app/upgrade_app.h"'
# The window framework and its backends.
plant "^src/window/dialog.cpp:[0-9]+: window includes window/gtk, a backend, above the framework" \
  src/window/dialog.cpp '#include "window/gtk/gtk_backend.h"'
plant "^src/window/backend.h:[0-9]+: window includes window/headless, a backend, above the framework" \
  src/window/backend.h '#include "headless/headless_backend.h"'
plant "^src/window/gtk/gtk_backend.cpp:[0-9]+: window/gtk includes window/win32, another backend" \
  src/window/gtk/gtk_backend.cpp '#include <window/win32/win32_api.h>'
# Targets and include folders in the CMake files.
plant "^src/core/CMakeLists.txt:[0-9]+: core links reflint_ui \(ui\), $up" \
  src/core/CMakeLists.txt 'target_link_libraries(reflint_core PUBLIC reflint_platform reflint_ui)'
plant "^src/catalogue/CMakeLists.txt:[0-9]+: catalogue links reflint_run \(run\), $up" \
  src/catalogue/CMakeLists.txt 'target_link_libraries(reflint_catalogue PRIVATE # the worker\n  $<$<PLATFORM_ID:Linux>:reflint_run>)'
plant "^src/window/CMakeLists.txt:[0-9]+: window links reflint_window_gtk \(window/gtk\), a backend" \
  src/window/CMakeLists.txt 'target_link_libraries(reflint_window PUBLIC reflint_window_gtk)'
plant "^src/core/CMakeLists.txt:[0-9]+: core takes the include folder src/ui \(ui\), $up" \
  src/core/CMakeLists.txt 'target_include_directories(reflint_core PRIVATE ${PROJECT_SOURCE_DIR}/src/ui)' \
  src/core/user_texts.cpp '#include "about_dlg.h"'
plant "^src/core/user_texts.cpp:[0-9]+: core includes ui, $up" \
  src/core/CMakeLists.txt 'target_include_directories(reflint_core PRIVATE ${PROJECT_SOURCE_DIR}/src/ui)' \
  src/core/user_texts.cpp '#include "about_dlg.h"'
# Down is allowed in every form, and a backend uses its framework.
plant pass \
  src/ui/about_dlg.cpp '#include <core/device_family.h>\n#include "../platform/path_text.h"' \
  src/catalogue/tools/firmware_list_main.cpp '#include "../../core/user_texts.h"\n#include <vector>' \
  src/window/gtk/gtk_backend.cpp '#include "../dialog.h"\n#include <gtk/gtk.h>' \
  src/app/upgrade_app.inl '#include "ui/about_dlg.h"' \
  src/app/CMakeLists.txt 'target_link_libraries(reflint_app PRIVATE reflint_core\n  reflint_window)' \
  src/window/gtk/CMakeLists.txt 'target_link_libraries(reflint_window_gtk PRIVATE reflint_window)'

((failures == 0)) || exit 1
echo "ok   $cases planted trees judged as expected"
