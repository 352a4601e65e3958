#!/usr/bin/env bash
# The release script, signed with a throwaway certificate: what it writes to
# its output folder, that every shipped file carries a signature that verifies
# against that certificate (and not against another), and that an unsigned
# release carries none.
#   release_test.sh   (from anywhere; the release presets are built if needed)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

certificate() {  # NAME: a self-signed code-signing certificate and its key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$1" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
certificate "Cartscope Test Signing"
certificate "Someone Else"
signer="$work/Cartscope Test Signing"
stranger="$work/Someone Else"

version=$(sed -n 's/^project(Cartscope VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
msi=Cartscope-$version.msi
zip=Cartscope-$version-portable.zip
deb=cartscope_${version}_amd64.deb

# Half a signing set is a usage error, before anything is built.
status=0
bash "$root/scripts/release.sh" --no-setup --cert "$signer.pem" --out "$work/half" >/dev/null 2>&1 || status=$?
[ $status -eq 2 ] || fail "a certificate without its key: exit $status, expected 2"
[ ! -e "$work/half" ] || fail "a refused release wrote its output folder"

if ! bash "$root/scripts/release.sh" --no-setup --cert "$signer.pem" --key "$signer.key" --ca "$signer.pem" \
  --out "$work/signed" >"$work/signed.log" 2>&1; then
  cat "$work/signed.log"
  fail "the signed release failed"
  exit 1
fi

cd "$work/signed"
for file in "$msi" "$zip" "$deb" SHA256SUMS; do [ -f "$file" ] || fail "$file was not written"; done
[ "$(ls | wc -l)" -eq 4 ] || fail "unexpected files: $(ls | tr '\n' ' ')"
sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS does not match the files"

# The portable package: one folder with both binaries and the read-me.
listing=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
expected="Cartscope-$version-portable/ Cartscope-$version-portable/Cartscope CMD.exe Cartscope-$version-portable/Cartscope.dll Cartscope-$version-portable/README.txt "
[ "$listing" = "$expected" ] || fail "portable package holds: $listing"
mkdir portable && (cd portable && unzip -q "../$zip")
readme="portable/Cartscope-$version-portable/README.txt"
for line in "regsvr32 Cartscope.dll" "regsvr32 /n /i:user Cartscope.dll" "regsvr32 /u Cartscope.dll" \
  "regsvr32 /u /n /i:user Cartscope.dll" "Cartscope $version"; do
  grep -qF "$line" "$readme" || fail "README.txt lacks \"$line\""
done
grep -q $'\r$' "$readme" || fail "README.txt does not have Windows line ends"

# The Debian package: the release's version, from the build without test hooks.
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the Debian package's version is not $version"
mkdir unpacked && dpkg-deb -x "$deb" unpacked
bash "$root/cmd/tests/no_test_hooks_test.sh" unpacked/usr/bin/cartscope >/dev/null || fail "the packaged cartscope has test hooks"

# The installer's product version is the release's.
product_version=$(msiinfo export "$msi" Property | awk -F'\t' '$1 == "ProductVersion" { sub(/\r$/, "", $2); print $2 }')
[ "$product_version" = "$version" ] || fail "the installer's ProductVersion is '$product_version', not $version"

# Every shipped file is signed: the installer, and the binaries in both packages.
mkdir installed && msiextract -C installed "$msi" >/dev/null
signed_files=("$msi" "portable/Cartscope-$version-portable/Cartscope.dll" "portable/Cartscope-$version-portable/Cartscope CMD.exe")
while IFS= read -r -d '' file; do signed_files+=("$file"); done < <(find installed -type f -print0)
[ ${#signed_files[@]} -eq 5 ] || fail "the installer holds $((${#signed_files[@]} - 3)) files, expected 2"
for file in "${signed_files[@]}"; do
  osslsigncode verify -in "$file" -CAfile "$signer.pem" >/dev/null 2>&1 || fail "$file: the signature does not verify"
  if osslsigncode verify -in "$file" -CAfile "$stranger.pem" >/dev/null 2>&1; then
    fail "$file: verifies against a certificate that did not sign it"
  fi
done

# Without a certificate nothing is signed.
if ! bash "$root/scripts/release.sh" --no-setup --out "$work/unsigned" >"$work/unsigned.log" 2>&1; then
  cat "$work/unsigned.log"
  fail "the unsigned release failed"
else
  for file in "$work/unsigned/$msi"; do
    if osslsigncode verify -in "$file" -CAfile "$signer.pem" >/dev/null 2>&1; then fail "$file is signed"; fi
  done
  cmp -s "$work/unsigned/SHA256SUMS" "$work/signed/SHA256SUMS" && fail "signed and unsigned packages are the same"
fi

[ $failures -eq 0 ] || exit 1
echo "ok: release $version written, signed and verified"
