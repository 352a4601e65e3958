#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package-deb.sh from
# the build folder, free of lintian errors, depending on the libraries the
# program links, and working once unpacked: cartscope --version, and the
# thumbnailer entry run as a file manager runs it.
#
#   package_test.sh BUILD_FOLDER VERSION SAMPLE_ROM
set -euo pipefail

build=$1 version=$2 sample=$3
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

deb=$(bash "$source_dir/scripts/package-deb.sh" "$work/out" "$build")
[ "$(basename "$deb")" = "cartscope_${version}_amd64.deb" ] || fail "package named $(basename "$deb")"

# Lintian: errors fail the test, the rest is shown.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup.sh installs it)"
lintian --fail-on error "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

for field in Package Version Architecture Section Maintainer Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
! grep -Eq '(^|, )libpng[0-9-]*( |,|$)' <<<"$depends" || fail "Depends names libpng, which no program uses"
grep -Eq '(^|, )(libssl|libcrypto)[0-9.-]*( |,|$)' <<<"$depends" || fail "Depends names no libssl or libcrypto package"
grep -Eq '(^|, )libexpat1( |,|$)' <<<"$depends" || fail "Depends names no libexpat1 package (db import)"
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'preinst|postinst|prerm|postrm')" ] ||
  fail "the package has maintainer scripts"

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/cartscope usr/share/man/man1/cartscope.1.gz usr/share/thumbnailers/cartscope.thumbnailer \
  usr/share/bash-completion/completions/cartscope usr/share/doc/cartscope/copyright; do
  [ -f "$root/$file" ] || fail "$file is not in the package"
done
gzip -t "$root/usr/share/man/man1/cartscope.1.gz" || fail "the manual page is no gzip file"
manual=$(zcat "$root/usr/share/man/man1/cartscope.1.gz" | sed 's/\\-/-/g')
for command in info icon thumbnail trim untrim names rename 'db build' 'db dump' 'db version' 'db lookup' \
  publish update-db; do
  grep -q -- "^\.B cartscope $command\$" <<<"$manual" || fail "the manual page has no synopsis of $command"
done
for word in 'EXIT STATUS' ENVIRONMENT XDG_DATA_HOME nds-rom.dat nds-rom.lock; do
  grep -q -- "$word" <<<"$manual" || fail "the manual page does not mention $word"
done

# The bash completion, with bash-completion's helpers reduced to what it
# uses of them (_filedir offers FILES).
completion=$root/usr/share/bash-completion/completions/cartscope
completes() {
  local expected=$1
  shift
  local got
  got=$(bash -c '
    _init_completion() {
      words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
      cur=${words[cword]} prev=${words[cword - 1]}
    }
    _filedir() { COMPREPLY=(FILES); }
    source "$1" && shift
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
    _cartscope
    echo "${COMPREPLY[*]}"' _ "$completion" "$@")
  [ "$got" = "$expected" ] || fail "completing \"$*\" gives \"$got\", not \"$expected\""
}
completes "info icon thumbnail trim untrim names rename db publish update-db --version --help --help-all" cartscope ""
completes "thumbnail trim" cartscope t
completes "build import dump version lookup" cartscope db ""
completes "--help -o --output --version" cartscope db build x.tsv -
completes "--help -o --output --version" cartscope db import a.dat b.xml -
completes FILES cartscope db import a.dat ""
completes "--help -s --size" cartscope thumbnail -
completes "--help --server" cartscope update-db -
completes "0 1 2 3 4 5" cartscope rename --language ""
completes "" cartscope thumbnail -s ""
completes FILES cartscope thumbnail -s 128 ""
completes FILES cartscope icon game.nds -o ""

export PATH="$root/usr/bin:$PATH"
[ "$(command -v cartscope)" = "$root/usr/bin/cartscope" ] || fail "the unpacked cartscope is not found first"
[ "$(cartscope --version)" = "cartscope $version" ] || fail "cartscope --version says $(cartscope --version)"

# The thumbnailer entry: its Exec line with %s, %u (the URI of a ROM with a
# space and a non-ASCII letter in its name) and %o, as a file manager runs it.
entry=$root/usr/share/thumbnailers/cartscope.thumbnailer
exec_line=$(sed -n 's/^Exec=//p' "$entry")
try_exec=$(sed -n 's/^TryExec=//p' "$entry")
[ -n "$exec_line" ] && [ "$(command -v "$try_exec")" = "$root/usr/bin/cartscope" ] || fail "TryExec/Exec in $entry"
rom="$work/Star Courier é.nds"
cp "$sample" "$rom"
uri=$(python3 -c 'import sys, urllib.parse; print("file://" + urllib.parse.quote(sys.argv[1]))' "$rom")
for size_side in 128:128 100:96 256:256; do
  size=${size_side%:*} side=${size_side#*:}
  out="$work/thumbnail $size.png"
  words=()
  for word in $exec_line; do
    case $word in
    %s) words+=("$size") ;;
    %u) words+=("$uri") ;;
    %o) words+=("$out") ;;
    *) words+=("$word") ;;
    esac
  done
  "${words[@]}" || fail "the thumbnailer failed for size $size"
  cartscope icon "$rom" -o "$work/icon.png" --size "$side"
  cmp -s "$out" "$work/icon.png" || fail "the thumbnail of size $size is not the icon at ${side}x$side"
done

# A file that is not a ROM gives no thumbnail and one line of reason.
printf 'not a ROM' >"$work/text.nds"
set +e
reason=$(cartscope thumbnail -s 128 "file://$work/text.nds" "$work/none.png" 2>&1)
status=$?
set -e
[ $status -eq 1 ] && [ ! -e "$work/none.png" ] && [ "$(wc -l <<<"$reason")" -eq 1 ] ||
  fail "a file that is not a ROM: status $status, \"$reason\""
echo "package test passed: $deb"
