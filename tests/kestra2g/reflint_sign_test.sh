#!/usr/bin/env bash
# reflint-sign as a maker uses it: keys that are never overwritten and keep
# their secret half private, a signed file under its proper name that
# verifies against its key and no other, and versions a name cannot carry
# refused.  Usage: reflint_sign_test.sh REFLINT_SIGN
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
exit $failed
