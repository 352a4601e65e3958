#!/usr/bin/env bash
# The commands that run once per file start without loading what they do not
# use: cartscope starts with the C library's shared libraries only (no C++
# runtime, no curl, OpenSSL or expat: those are cartscope-full's), and loads
# libpng when it writes a picture, not for info, trim or untrim.
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
for command in info trim untrim; do
  loaded=$(loads "$command" "$work/rom.nds")
  [ -z "$loaded" ] || fail "$command loads $(tr '\n' ' ' <<<"$loaded")"
done
loaded=$(loads icon "$work/rom.nds" -o "$work/icon.png")
grep -q '^libpng' <<<"$loaded" || fail "icon did not load libpng (it loaded: $(tr '\n' ' ' <<<"$loaded"))"
[ -s "$work/icon.png" ] || fail "icon wrote no picture"

# A libpng that lacks what cartscope calls: a one-line reason, exit 1, no file.
printf 'int png_nothing_here;\n' >"$work/empty.c"
cc -shared -o "$work/libpng16.so.16" "$work/empty.c"
status=0
reason=$(LD_LIBRARY_PATH=$work "$program" icon "$work/rom.nds" -o "$work/none.png" 2>&1) || status=$?
[ $status -eq 1 ] || fail "icon with a broken libpng ended with $status"
grep -q 'libpng16.so.16 has no png_' <<<"$reason" || fail "icon with a broken libpng said: $reason"
[ ! -e "$work/none.png" ] || fail "icon with a broken libpng wrote a file"

echo "$program starts with: $(tr '\n' ' ' <<<"$linked"); icon loads: $(tr '\n' ' ' <<<"$loaded")"
