#!/bin/sh
# The device library exports exactly its 23 C functions, nothing else.
set -eu
lib=$1
expected=$(for p in HLX700_ MV5100_ TQ640_ KII_; do
  for f in GetBootInformation GetProductInformation GetApplicationInformation GetJobName GetProgress; do
    echo "$p$f"
  done
done; printf 'Qarnel_InitCom\nQarnel_CatchBoot\nQarnel_DownloadMOTCF\n')
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^$')
if [ "$(echo "$expected" | sort)" != "$(echo "$actual" | sort)" ]; then
  echo "exported symbols differ:"
  echo "$expected" | sort >/tmp/k2g-expected.$$
  echo "$actual" | sort | diff /tmp/k2g-expected.$$ - || true
  rm -f /tmp/k2g-expected.$$
  exit 1
fi
echo "23 functions exported"
