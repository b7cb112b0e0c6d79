#!/usr/bin/env bash
# scripts/wine-checked, the Windows builds' sanitizer, on heap_fault.exe:
# every planted heap fault fails the run, whatever WINEDEBUG the caller set
# and whatever the program returned; a clean run passes its output and exit
# code through untouched, and wine's other chatter fails nothing.
#   tests/window/wine_checked_test.sh WINE_CHECKED HEAP_FAULT_EXE
set -uo pipefail
checked=$1 program=$2
source "$(dirname "$0")/../../scripts/lib.sh"
out=$(mktemp -d /tmp/reflint-wine-checked-test.XXXXXX)
trap 'rm -rf "$out"' EXIT

# mode | the caller's WINEDEBUG ("unset": none) | exit code | on standard error
cases=(
  "clean|-all,err+module|0|"
  "clean|unset|0|"
  "chatter|-all,err+module|3|0024:err:winediag:nodrv_CreateWindow"
  "double-free|-all,err+module|$REFLINT_WINE_HEAP_EXIT|wine-checked: FAILED: 1 line(s)"
  "double-free|unset|$REFLINT_WINE_HEAP_EXIT|wine-checked: FAILED: 1 line(s)"
  "use-after-free|-all|$REFLINT_WINE_HEAP_EXIT|block FEEEFEE"
  "thread-local|-all,err+module|$REFLINT_WINE_HEAP_EXIT|wine-checked: FAILED"
)
failures=0
for row in "${cases[@]}"; do
  IFS='|' read -r mode debug want text <<<"$row"
  if [[ $debug == unset ]]; then
    env -u WINEDEBUG "$checked" "$program" "$mode" >"$out/stdout" 2>"$out/stderr"
  else
    WINEDEBUG=$debug "$checked" "$program" "$mode" >"$out/stdout" 2>"$out/stderr"
  fi
  rc=$?
  # Standard output is the program's alone, line ends as wine writes them.
  if ((rc != want)) || [[ $(tr -d '\r' <"$out/stdout") != "$mode" ]] ||
    { [[ -n $text ]] && ! grep -qF -- "$text" "$out/stderr"; }; then
    echo "FAIL: $mode (WINEDEBUG $debug): exit code $rc, expected $want with '$text'"
    sed 's/^/    /' "$out/stdout" "$out/stderr"
    failures=$((failures + 1))
  else
    echo "ok   $mode (WINEDEBUG $debug): exit code $rc"
  fi
done
((failures == 0))
