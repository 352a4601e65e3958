#!/usr/bin/env bash
# The commands that run once per file load no shared library but the C
# library's: no C++ runtime, no curl, OpenSSL or expat (those are
# cartscope-full's), and no PNG or zlib library for a picture.
#   per_file_libraries_test.sh CARTSCOPE ROM
set -euo pipefail
program=$1 rom=$2
fail() {
  echo "FAIL: $*"
  exit 1
}

allowed='^(linux-vdso\.so\.1|libc\.so\.6|/lib64/ld-linux-x86-64\.so\.2)$'
linked=$(LC_ALL=C ldd "$program" | awk '{print $1}')
[ -n "$linked" ] || fail "ldd listed nothing for $program"
unexpected=$(grep -Ev "$allowed" <<<"$linked" || true)
[ -z "$unexpected" ] || fail "$program starts with more than it needs: $(tr '\n' ' ' <<<"$unexpected")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$rom" "$work/rom.nds"
# The shared libraries a run loads, as the dynamic loader reports them.
loads() { LD_DEBUG=files "$program" "$@" 2>&1 >/dev/null | sed -n 's/.*file=\([^ ]*\) \[0\];  \(needed\|dynamically loaded\).*/\1/p' | grep -v "^libc\.so\.6$" | sort -u || true; }
check() {
  local loaded
  loaded=$(loads "$@")
  [ -z "$loaded" ] || fail "$1 loads $(tr '\n' ' ' <<<"$loaded")"
}
for command in info trim untrim; do
  check "$command" "$work/rom.nds"
done
check icon "$work/rom.nds" -o "$work/icon.png"
[ -s "$work/icon.png" ] || fail "icon wrote no picture"
check thumbnail "$work/rom.nds" "$work/thumbnail.png"
[ -s "$work/thumbnail.png" ] || fail "thumbnail wrote no picture"

echo "$program starts with: $(tr '\n' ' ' <<<"$linked")"
