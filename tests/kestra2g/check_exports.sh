#!/bin/sh
# The device library exports exactly the maker's 23 C functions and our
# Kestra2G_Revert under their plain names, nothing else: no C++ names, and on Windows no decorated ones
# (_name or name@N), since the program looks every function up by name.
#   check_exports.sh LIBRARY [OBJDUMP]   (OBJDUMP given: a Windows DLL)
set -eu
lib=$1
expected=$(for p in HLX700_ MV5100_ TQ640_ KII_; do
  for f in GetBootInformation GetProductInformation GetApplicationInformation GetJobName GetProgress; do
    echo "$p$f"
  done
done; printf 'Qarnel_InitCom\nQarnel_CatchBoot\nQarnel_DownloadMOTCF\nKestra2G_Revert\n')
if [ $# -ge 2 ]; then
  # The name table of the export directory: lines "[   n] name".
  actual=$("$2" -p "$lib" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
else
  actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^$')
fi
expected=$(echo "$expected" | sort)
actual=$(echo "$actual" | sort)
if [ "$expected" != "$actual" ]; then
  echo "exported symbols differ (< expected, > exported):"
  printf '%s\n' "$expected" | while read -r name; do
    printf '%s\n' "$actual" | grep -qx "$name" || echo "< $name"
  done
  printf '%s\n' "$actual" | while read -r name; do
    printf '%s\n' "$expected" | grep -qx "$name" || echo "> $name"
  done
  exit 1
fi
echo "the 23 functions and Kestra2G_Revert exported"
