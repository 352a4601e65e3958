#!/usr/bin/env bash
# Builds libcurl for the 32-bit Windows program from Debian's curl source
# package (with Debian's patches): static, Schannel for TLS, zlib, HTTP and
# HTTPS only.
#
#   scripts/build-curl-mingw.sh          build (or find) it and print its folder
#
# The result is cached outside the repository, under
# ${XDG_CACHE_HOME:-~/.cache}/cartscope/curl-i686-<key>, where the key is a
# hash of the source package's version, this script, the tool-chain files and
# the compiler. It is built in a temporary folder and renamed into place under
# a lock, so runs side by side build it once. Needs network access the first
# time (the source package).
set -euo pipefail
cd "$(dirname "$0")/.."

arch=i686
triple=$arch-w64-mingw32
toolchain=$PWD/cmake/mingw-w64-$arch.cmake
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

log() { echo "build-curl-mingw: $*" >&2; }

# Source packages need a deb-src entry beside each deb entry. They are
# written from the existing entries (same addresses, suites and keyrings), in
# both of apt's formats: deb822 stanzas (*.sources, as container images have
# them) and one-line entries (sources.list, as the installer writes it).
source_version() {
  apt-get source --print-uris curl 2>/dev/null | sed -nE "s/^'[^']*' curl_([^ ]+)\\.dsc .*/\\1/p" | head -n 1
}

# Writes the output of a command into a file of apt's through sudo, or
# removes the file when the command writes nothing.
write_entries() {
  local file=$1
  shift
  "$@" | $sudo tee "$file.new" >/dev/null
  if [ -s "$file.new" ]; then $sudo mv "$file.new" "$file"; else $sudo rm -f "$file.new"; fi
}

deb822_entries() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$stanzas" ] || continue
    # Keep the stanzas of type deb, turned into deb-src.
    awk 'BEGIN { RS = ""; ORS = "\n\n" } /(^|\n)Types:([^\n]* )?deb( |\n|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
  done
}

one_line_entries() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && [ "$f" != "$lines" ] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]+/deb-src /p' "$f"
  done
}

version=$(source_version || true)
if [ -z "$version" ]; then
  stanzas=/etc/apt/sources.list.d/cartscope-sources.sources
  lines=/etc/apt/sources.list.d/cartscope-sources.list
  log "adding source entries ($stanzas, $lines)"
  write_entries "$stanzas" deb822_entries
  write_entries "$lines" one_line_entries
  if [ ! -f "$stanzas" ] && [ ! -f "$lines" ]; then
    log "no package sources found in /etc/apt"
    exit 1
  fi
  $sudo apt-get update -qq
  version=$(source_version || true)
  if [ -z "$version" ]; then
    log "the curl source package is not available"
    exit 1
  fi
fi

compiler=$("$triple-gcc-posix" --version | head -n 1)
key=$( { echo "$version"; echo "$compiler"; cat "$0" "$toolchain" cmake/mingw-common.cmake; } | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/cartscope
dest=$cache/curl-$arch-$key
mkdir -p "$cache"

if [ -f "$dest/lib/libcurl.a" ]; then
  echo "$dest"
  exit 0
fi

exec 9>"$cache/curl.lock"
flock 9
if [ -f "$dest/lib/libcurl.a" ]; then  # built by another run meanwhile
  echo "$dest"
  exit 0
fi

work=$(mktemp -d "$cache/curl-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log "building curl $version for $triple in $work"
(
  cd "$work"
  # dpkg-source unpacks and applies Debian's patches.
  apt-get source -qq curl >source.log 2>&1 || { cat source.log >&2; exit 1; }
  src=$(find . -maxdepth 1 -type d -name 'curl-*' | head -n 1)
  [ -n "$src" ] || { log "no source folder unpacked"; exit 1; }
  cmake -S "$src" -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$work/install" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DHTTP_ONLY=ON \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_NETRC=ON \
    -DENABLE_UNIX_SOCKETS=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF \
    -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DPICKY_COMPILER=OFF \
    -DCURL_ZLIB=ON -DZLIB_INCLUDE_DIR=/usr/$triple/include -DZLIB_LIBRARY=/usr/$triple/lib/libz.a \
    >configure.log 2>&1 || { cat configure.log >&2; exit 1; }
  cmake --build build >build.log 2>&1 || { tail -n 50 build.log >&2; exit 1; }
  cmake --install build >install.log 2>&1 || { cat install.log >&2; exit 1; }
  echo "$version" >"$work/install/VERSION"
)
mv "$work/install" "$dest"
log "built $dest"
echo "$dest"
