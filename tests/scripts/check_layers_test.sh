#!/usr/bin/env bash
# The layer check passes on this tree, and on copies of it fails for each
# way a file or a CMake target can reach above its layer or past a rule
# between the programs, naming the place (and the rule); uses that point
# down, or that a rule leaves open, planted the same ways, still pass.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/scripts/check-layers" "$root" || { echo "FAIL: the tree itself breaks the layer order"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cases=0 failures=0

# plant WANT FILE TEXT [FILE TEXT]...: on a fresh copy of the tree, each TEXT
# (\n for a new line) is added at the end of its FILE (new or not); then the
# check must pass (WANT "pass"), or fail with, for each line of WANT, a line
# matching it as an extended regular expression.
plant() {
  local want=$1 copy=$work/tree out rc w missing=
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
    while IFS= read -r w; do
      grep -qE -- "$w" <<<"$out" || missing=1
    done <<<"$want"
    ((rc == 1)) && [[ -z $missing ]] && return
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

# The rules between the three programs: each row breaks its rule by an
# include (relative, in angle brackets, in a subfolder), a link (also through a
# target that brings it) and an include folder.
rule() { printf '^%s:[0-9]+: %s, against the rule "%s"$' "$1" "$2" "$3"; }
identify='identify reaches the device library only through Kestra2G.h and Kestra2GRevert.h'
plant "$(rule src/identify/device_choice.cpp 'identify includes src/kestra2g/link.h' "$identify")
$(rule src/identify/device_choice.cpp 'identify includes src/kestra2g/wire/frame.h' "$identify")
$(rule src/identify/CMakeLists.txt 'identify links Kestra2G \(src/kestra2g\)' "$identify")
$(rule src/identify/CMakeLists.txt 'identify links kestra2g_wire \(src/kestra2g/wire\)' "$identify")
$(rule src/identify/CMakeLists.txt 'identify takes the include folder src/kestra2g' "$identify")
$(rule src/identify/CMakeLists.txt 'identify links kestra2g_header \(src/kestra2g/include\)' "$identify")" \
  src/identify/device_choice.cpp '#include "../kestra2g/link.h"\n#include <kestra2g/wire/frame.h>' \
  src/identify/CMakeLists.txt 'target_link_libraries(reflint_identify PRIVATE Kestra2G)
target_link_libraries(reflint_identify PRIVATE\n  kestra2g_wire)
target_include_directories(reflint_identify PRIVATE ${PROJECT_SOURCE_DIR}/src/kestra2g)
target_link_libraries(reflint_identify PRIVATE kestra2g_header)' \
  src/kestra2g/include/CMakeLists.txt 'add_library(kestra2g_header INTERFACE)'
cli='cli uses neither ui nor window'
plant "$(rule src/cli/main.cpp 'cli includes src/ui/upgrade_dlg.h' "$cli")
$(rule src/cli/planted.h 'cli includes src/window/headless/headless_driver.h' "$cli")
$(rule src/cli/CMakeLists.txt 'cli links reflint_app, which brings reflint_ui \(src/ui\)' "$cli")
$(rule src/cli/CMakeLists.txt 'cli links reflint_window \(src/window\)' "$cli")
$(rule src/cli/CMakeLists.txt 'cli takes the include folder src/ui' "$cli")" \
  src/cli/main.cpp '#include "ui/upgrade_dlg.h"' \
  src/cli/planted.h '#  include <window/headless/headless_driver.h>' \
  src/cli/CMakeLists.txt 'target_link_libraries(reflint-cli PRIVATE reflint_app)
link_libraries($<$<PLATFORM_ID:Linux>:reflint_window>)
target_include_directories(reflint-cli PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../ui)'
emulator="the emulator uses only the device library's wire/"
plant "$(rule src/emulator/launcher/emulator_process.cpp 'emulator includes src/kestra2g/link.h' "$emulator")
$(rule src/emulator/CMakeLists.txt 'emulator links Kestra2G \(src/kestra2g\)' "$emulator")
$(rule src/emulator/CMakeLists.txt 'emulator links reflint-sign \(src/kestra2g\)' "$emulator")
$(rule src/emulator/CMakeLists.txt 'emulator takes the include folder src/kestra2g' "$emulator")" \
  src/emulator/launcher/emulator_process.cpp '#include "../../kestra2g/link.h"' \
  src/emulator/CMakeLists.txt 'target_link_libraries(remote-emulator PRIVATE Kestra2G)
target_link_libraries(remote_emulator_core PUBLIC reflint-sign)
target_include_directories(remote-emulator PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../kestra2g)'
# What the rules leave open, in the same forms.
plant pass \
  src/identify/device_choice.cpp '#include <Kestra2G.h>\n#include "../kestra2g/include/Kestra2G.h"' \
  src/identify/CMakeLists.txt 'target_include_directories(reflint_identify PRIVATE ${PROJECT_SOURCE_DIR}/src/kestra2g/include)' \
  src/cli/main.cpp '#include "../run/update_sequence.h"\n#include <core/device_family.h>' \
  src/cli/CMakeLists.txt 'target_link_libraries(reflint-cli PRIVATE reflint_run reflint_identify)' \
  src/emulator/launcher/emulator_process.cpp '#include "../../kestra2g/wire/crc32.h"' \
  src/emulator/CMakeLists.txt 'target_link_libraries(remote-emulator PRIVATE kestra2g_wire)
target_include_directories(remote-emulator PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../kestra2g/wire)'

((failures == 0)) || exit 1
echo "ok   $cases planted trees judged as expected"
