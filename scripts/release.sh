#!/usr/bin/env bash
# Builds a release and writes it to dist/ (or --out DIR):
#   Cartscope-<version>.msi            the Windows installer (per user, or ALLUSERS=1)
#   Cartscope-<version>-portable.zip   both binaries and README.txt
#   cartscope_<version>_amd64.deb      the Linux command line, thumbnailer and manual
#   SHA256SUMS
# The binaries come from the release presets (no test hooks).
#
# Authenticode signing is optional: given a certificate and its key, the
# library, the program and the installer are signed with osslsigncode and the
# signatures verified. Keys never live in the tree: pass them as options or in
# the environment.
#   --cert FILE       CARTSCOPE_SIGN_CERT      the signing certificate (PEM or DER)
#   --key FILE        CARTSCOPE_SIGN_KEY       its private key
#   --pass-file FILE  CARTSCOPE_SIGN_PASS_FILE the key's password, when it has one
#   --ca FILE         CARTSCOPE_SIGN_CA        the roots to verify against (default: the system's)
#   --timestamp URL   CARTSCOPE_SIGN_TIMESTAMP an RFC 3161 time-stamp server
# Other options:
#   --out DIR         where to write (default dist/)
#   --no-setup        do not run scripts/setup.sh first
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

out=$root/dist
cert=${CARTSCOPE_SIGN_CERT:-}
key=${CARTSCOPE_SIGN_KEY:-}
pass_file=${CARTSCOPE_SIGN_PASS_FILE:-}
ca=${CARTSCOPE_SIGN_CA:-}
timestamp=${CARTSCOPE_SIGN_TIMESTAMP:-}
setup=1
usage() { sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --cert) cert=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --pass-file) pass_file=$2; shift 2 ;;
    --ca) ca=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --no-setup) setup=0; shift ;;
    -h | --help) usage ;;
    *) echo "release: unknown option $1" >&2; usage ;;
  esac
done
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
  echo "release: signing needs both a certificate and its key" >&2
  exit 2
fi
for file in "$cert" "$key" "$pass_file" "$ca"; do
  if [ -n "$file" ] && [ ! -r "$file" ]; then
    echo "release: cannot read $file" >&2
    exit 2
  fi
done

[ $setup -eq 0 ] || bash scripts/setup.sh

for preset in release-win64 release-win32 release-linux; do
  echo "release: building $preset"
  log="build/$preset.release.log"
  mkdir -p build
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "release: the $preset build failed" >&2
    exit 1
  fi
  rm -f "$log"
done

library=build/release-win64/shellext/Cartscope.dll
program="build/release-win32/cmd/Cartscope CMD.exe"
version=$(sed -n 's/^#define CARTSCOPE_VERSION_TEXT "\(.*\)"$/\1/p' build/release-win64/generated/cartscope_version.h)
program_version=$(sed -n 's/^#define CARTSCOPE_VERSION_TEXT "\(.*\)"$/\1/p' build/release-win32/generated/cartscope_version.h)
if [ -z "$version" ] || [ "$version" != "$program_version" ]; then
  echo "release: the release builds disagree on the version ('$version', '$program_version')" >&2
  exit 1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/files" "$stage/dist"
cp "$library" "$program" "$stage/files/"

sign() {
  [ -n "$cert" ] || return 0
  local file=$1 signed=$1.signed
  local options=(-certs "$cert" -key "$key" -h sha256 -n "Cartscope" -in "$file" -out "$signed")
  [ -z "$pass_file" ] || options+=(-readpass "$pass_file")
  [ -z "$timestamp" ] || options+=(-ts "$timestamp")
  if ! osslsigncode sign "${options[@]}" >"$stage/sign.log" 2>&1; then
    cat "$stage/sign.log" >&2
    echo "release: signing $(basename "$file") failed" >&2
    exit 1
  fi
  mv "$signed" "$file"
  local verify=(-in "$file")
  [ -z "$ca" ] || verify+=(-CAfile "$ca")
  if ! osslsigncode verify "${verify[@]}" >"$stage/verify.log" 2>&1; then
    cat "$stage/verify.log" >&2
    echo "release: the signature of $(basename "$file") does not verify" >&2
    exit 1
  fi
  echo "release: signed $(basename "$file")"
}

sign "$stage/files/Cartscope.dll"
sign "$stage/files/Cartscope CMD.exe"

msi=Cartscope-$version.msi
bash installer/make_msi.sh --library "$stage/files/Cartscope.dll" --program "$stage/files/Cartscope CMD.exe" \
  --version "$version" -o "$stage/dist/$msi" >/dev/null
sign "$stage/dist/$msi"

portable=Cartscope-$version-portable
mkdir "$stage/$portable"
cp "$stage/files/Cartscope.dll" "$stage/files/Cartscope CMD.exe" "$stage/$portable/"
sed "s/@VERSION@/$version/g" installer/portable-README.txt | sed 's/$/\r/' >"$stage/$portable/README.txt"
(cd "$stage" && zip -q -X -r "dist/$portable.zip" "$portable")

deb=$(basename "$(bash scripts/package-deb.sh "$stage/dist" build/release-linux)")

(cd "$stage/dist" && sha256sum "$msi" "$portable.zip" "$deb" >SHA256SUMS)

# The finished set replaces what dist/ held for this version.
mkdir -p "$out"
for file in "$msi" "$portable.zip" "$deb" SHA256SUMS; do
  mv -f "$stage/dist/$file" "$out/$file"
done
echo "release: wrote $out/$msi, $out/$portable.zip, $out/$deb and $out/SHA256SUMS (version $version${cert:+, signed})"
