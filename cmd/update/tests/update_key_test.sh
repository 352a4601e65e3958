#!/usr/bin/env bash
# The update key a build names (CARTSCOPE_UPDATE_PUBLIC_KEY), as
# cmake/update_public_key.cmake turns it into a header: the DER of a P-256
# public key goes in byte for byte, however its point was written; anything
# else stops the configuration with a message that names the setting.
#   update_key_test.sh CMAKE update_public_key.cmake
set -euo pipefail
cmake=$1 script=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl ecparam -name prime256v1 -genkey -noout -out p256.key 2>/dev/null
openssl ec -in p256.key -pubout -out p256.pem 2>/dev/null
openssl ec -in p256.key -pubout -conv_form compressed -out compressed.pem 2>/dev/null
openssl ecparam -name secp384r1 -genkey -noout 2>/dev/null | openssl ec -pubout -out p384.pem 2>/dev/null
# SM2: another curve whose key has the same length as P-256's.
openssl ecparam -name SM2 -genkey -noout 2>/dev/null | openssl ec -pubout -out sm2.pem 2>/dev/null
openssl genrsa 2048 2>/dev/null | openssl pkey -pubout -out rsa.pem
printf 'not a key\n' >garbage.pem
expected=$(openssl ec -in p256.key -pubout -outform DER 2>/dev/null | od -An -v -tx1 | tr -d ' \n' | sed 's/\(..\)/\\x\1/g')

status=0
fail() { echo "FAIL: $*"; status=1; }

# The bytes a header carries, as written in it.
carried() { sed -n 's/.*kBuiltInUpdateKey\[\] = "\(.*\)";/\1/p' "$1"; }
size() { sed -n 's/.*kBuiltInUpdateKeySize = \([0-9]*\);/\1/p' "$1"; }

for key in p256.pem compressed.pem; do
  if ! "$cmake" -DKEY="$work/$key" -DHEADER="$work/$key.h" -P "$script" >"$key.log" 2>&1; then
    fail "$key was refused: $(cat "$key.log")"
  elif [ "$(carried "$key.h")" != "$expected" ] || [ "$(size "$key.h")" != 91 ]; then
    fail "$key: the header does not carry the key's DER"
  fi
done

"$cmake" -DKEY= -DHEADER="$work/none.h" -P "$script" || fail "no key: the configuration stopped"
[ "$(carried none.h)" = "" ] && [ "$(size none.h)" = 0 ] || fail "no key: the header carries one"

while read -r key message; do
  if "$cmake" -DKEY="$work/$key" -DHEADER="$work/refused.h" -P "$script" >refused.log 2>&1; then
    fail "$key was taken"
  elif ! tr '\n' ' ' <refused.log | tr -s ' ' | grep -qF "CARTSCOPE_UPDATE_PUBLIC_KEY (\"$work/$key\"): $message"; then
    fail "$key: not the message \"$message\": $(cat refused.log)"
  fi
  [ ! -e refused.h ] || fail "$key: a header was written"
done <<'CASES'
missing.pem no such file
p384.pem not an ECDSA P-256 (prime256v1) public key
sm2.pem not an ECDSA P-256 (prime256v1) public key
rsa.pem not an ECDSA P-256 (prime256v1) public key
p256.key not a PEM public key (a private key is never built in)
garbage.pem not a PEM public key
CASES
[ $status -ne 0 ] || echo "ok: the update key is built in or refused"
exit $status
