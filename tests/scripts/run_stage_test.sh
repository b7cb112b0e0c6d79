#!/usr/bin/env bash
# The test command's verdict on a stage (run_stage and reflint_ctest of
# scripts/lib.sh), on small ctest projects and checks: under wine only a test
# that wine could not start, and whose run had no heap fault, is run again;
# any other failure fails the stage even when its second run would pass, and
# a stage in which something did not run reads "skipped" with why, never
# "ok", and never hides a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
REFLINT_LOGS=$work/logs
mkdir -p "$REFLINT_LOGS"

# One test program for every kind of test; a "once" kind fails on its first
# run only, as an intermittent failure does.
cat >"$work/kind.sh" <<'EOF'
kind=$1 ran=$2
[[ $kind == *_once && -e $ran ]] && exit 0
touch "$ran"
case $kind in
  wine_*) printf '%s\n' "Application could not be started, or no application associated with the specified file." \
                        "ShellExecuteEx failed: Internal error." >&2; exit 1 ;;
  plain_*) echo "Expected equality of these values"; exit 1 ;;
  heap_*) printf '%s\n' "Application could not be started, or no application associated with the specified file." \
                         "0104:warn:heap:unsafe_block_from_ptr heap 0000000000C80000, block FEEEFEEEFEEEFEE6: invalid ptr alignment" >&2; exit 1 ;;
  skip) exit 77 ;;
esac
EOF

# project DIR KIND...: a ctest project with one test per kind, named after it.
project() {
  local dir=$1 kind
  shift
  mkdir -p "$dir"
  {
    echo 'cmake_minimum_required(VERSION 3.25)'
    echo 'project(stage NONE)'
    echo 'enable_testing()'
    for kind in "$@"; do
      echo "add_test(NAME $kind COMMAND bash $work/kind.sh $kind \${CMAKE_BINARY_DIR}/$kind.ran)"
    done
    echo 'if(TEST skip)'
    echo '  set_tests_properties(skip PROPERTIES SKIP_RETURN_CODE 77)'
    echo 'endif()'
  } >"$dir/CMakeLists.txt"
  cmake -S "$dir" -B "$dir/build" >/dev/null || { echo "FAIL: cmake on $dir"; exit 1; }
}

wine_stage() { REFLINT_RERUN_FAILED=1 reflint_ctest "$1/build"; }
check_stage() { echo "SKIPPED: $1"; return "$2"; }

# stage_case STATUS TEXT COMMAND...: runs COMMAND as a stage; its summary
# line must read STATUS and its output with that line must hold TEXT.
cases=0 failures=0
stage_case() {
  local want=$1 text=$2 status
  shift 2
  cases=$((cases + 1))
  summary=() failed=0
  run_stage case "$@" >"$work/out"
  printf '%s\n' "${summary[@]}" >>"$work/out"
  read -r _ status _ <<<"${summary[0]}"
  if [[ $status != "$want" ]] || ! grep -qF -- "$text" "$work/out"; then
    echo "FAIL: $* gave '${summary[0]}', expected $want with '$text':"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  fi
}

project "$work/mixed" wine_once plain_once pass
stage_case FAILED "not rerun: plain_once failed by itself" wine_stage "$work/mixed"
project "$work/wine" wine_once pass
stage_case ok "rerun after a failure: wine_once" wine_stage "$work/wine"
# A heap fault is never rerun away, even beside wine's start failure.
project "$work/heap" heap_once wine_once
stage_case FAILED "not rerun: heap_once: wine's heap checker reported a fault" wine_stage "$work/heap"
project "$work/wine_again" wine_always
stage_case FAILED "***Failed" wine_stage "$work/wine_again"
project "$work/skip" pass skip
stage_case skipped "1 test did not run" wine_stage "$work/skip"
grep -qF "[case] did not run: skip (Skipped)" "$work/out" ||
  { echo "FAIL: the skipped test is not named"; cat "$work/out"; failures=$((failures + 1)); }
project "$work/skip_and_fail" plain_once skip
stage_case FAILED "***Failed" wine_stage "$work/skip_and_fail"
stage_case skipped "installing needs root" check_stage "installing needs root" 0
stage_case FAILED "SKIPPED: installing needs root" check_stage "installing needs root" 1

((failures == 0)) || exit 1
echo "ok   $cases stages judged as expected"
