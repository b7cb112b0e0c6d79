#!/usr/bin/env bash
# reflint-sign as a maker uses it: keys that are never overwritten and keep
# their secret half private, a signed file under its proper name that
# verifies against its key and no other, and versions a name cannot carry
# refused; format 3 files with a security counter and delta sections from
# earlier files of the family only.  Usage: reflint_sign_test.sh REFLINT_SIGN
set -uo pipefail
sign=$(realpath "$1")
work=$(mktemp -d /tmp/reflint-sign-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# expect CODE TEXT COMMAND...: exit code CODE and TEXT in the output.
expect() {
  local code=$1 text=$2 out rc
  shift 2
  out=$("$@" 2>&1)
  rc=$?
  ((rc == code)) || fail "$* exited $rc, not $code: $out"
  [[ -z $text || $out == *"$text"* ]] || fail "$* did not say \"$text\": $out"
}

head -c 5000 /dev/urandom >image.bin
expect 0 "key id" "$sign" keygen maker.key
[[ $(stat -c %a maker.key) == 600 ]] || fail "the secret key is not mode 0600"
[[ -f maker.pub ]] || fail "no public key beside the secret one"
before=$(cat maker.key)
expect 1 "exists" "$sign" keygen maker.key
[[ $(cat maker.key) == "$before" ]] || fail "keygen overwrote a secret key"
expect 0 "" "$sign" keygen other.key

expect 0 "HLX700 2.1.0" "$sign" sign --key maker.key --family HLX700 --version 2.1.0 image.bin
[[ -f HLX700_V_2_1_0.bin ]] || fail "the signed file does not have its proper name"
expect 0 "good" "$sign" verify HLX700_V_2_1_0.bin --key maker.pub
expect 1 "signed by an unknown key" "$sign" verify HLX700_V_2_1_0.bin --key other.pub
expect 0 "version       2.1.0" "$sign" show HLX700_V_2_1_0.bin
cp HLX700_V_2_1_0.bin HLX700_V_9_9_9.bin
expect 1 "its name says 9.9.9, it holds 2.1.0" "$sign" verify HLX700_V_9_9_9.bin --key maker.pub
# Flip every bit of one payload byte: writing a fixed value would leave a
# random payload unchanged whenever the byte already held it.
byte=$(od -An -tu1 -j1000 -N1 HLX700_V_2_1_0.bin)
printf "\\$(printf %03o $((255 - byte)))" |
  dd of=HLX700_V_2_1_0.bin bs=1 seek=1000 conv=notrunc status=none
cmp -s HLX700_V_2_1_0.bin HLX700_V_9_9_9.bin && fail "the payload byte was not changed"
expect 1 "its payload does not match the signed hash" "$sign" verify HLX700_V_2_1_0.bin --key maker.pub

expect 1 "--version" "$sign" sign --key maker.key --family HLX700 --version 2_1 image.bin
expect 1 "--family" "$sign" sign --key maker.key --family ZZ100 --version 2.1 image.bin
expect 1 "not a secret key file" "$sign" sign --key maker.pub --family KII --version 1.0 image.bin
: >empty.bin
expect 1 "is empty" "$sign" sign --key maker.key --family KII --version 1.0 empty.bin
expect 0 "MV5100_V_3_05.bin" "$sign" sign --key maker.key --family MV5100 --version 3.05 image.bin \
  -o MV5100_V_3_05.bin
expect 0 "format        2" "$sign" show MV5100_V_3_05.bin

# Format 3: a later build with a delta from the earlier file.
{ head -c 4000 image.bin; head -c 300 /dev/urandom; tail -c +4301 image.bin; } >image2.bin
expect 0 "security counter 1" "$sign" sign --key maker.key --family KII --version 1.0 \
  --security-counter 1 image.bin
expect 1 "--delta-from MV5100_V_3_05.bin: a file of MV5100, not of KII" "$sign" sign \
  --key maker.key --family KII --version 1.1 --security-counter 2 --delta-from KII_V_1_0.bin \
  --delta-from MV5100_V_3_05.bin image2.bin
[[ -f KII_V_1_1.bin ]] && fail "a file with a delta from another family's file was written"
expect 1 "its security counter 1 is above 0" "$sign" sign --key maker.key --family KII \
  --version 1.1 --delta-from KII_V_1_0.bin image2.bin
expect 0 "delta from KII_V_1_0.bin" "$sign" sign --key maker.key --family KII --version 1.1 \
  --security-counter 2 --delta-from KII_V_1_0.bin image2.bin
out=$("$sign" show KII_V_1_1.bin)
[[ $out == *"security counter 2"* && $out == *"delta sections 1"* ]] || fail "show: $out"
base=$("$sign" show KII_V_1_0.bin | sed -n 's/^payload hash  sha-256 //p')
[[ $out == *"from sha-256 $base"* ]] || fail "the section's base is not the earlier payload: $out"
expect 0 "good" "$sign" verify KII_V_1_1.bin --key maker.pub
# The last byte of the file is the section's.
size=$(stat -c %s KII_V_1_1.bin)
byte=$(od -An -tu1 -j$((size - 1)) -N1 KII_V_1_1.bin)
printf "\\$(printf %03o $((255 - byte)))" |
  dd of=KII_V_1_1.bin bs=1 seek=$((size - 1)) conv=notrunc status=none
expect 1 "a delta section does not match its signed hash" "$sign" verify KII_V_1_1.bin --key maker.pub
exit $failed
