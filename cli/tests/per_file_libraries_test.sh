#!/usr/bin/env bash
# The commands that run once per file start without loading what they do not
# use: cartscope loads the C library's and libpng's shared libraries only
# (no C++ runtime, no curl, OpenSSL or expat; those are cartscope-full's).
#   per_file_libraries_test.sh CARTSCOPE
set -euo pipefail
program=$1
allowed='^(linux-vdso\.so\.1|libc\.so\.6|libm\.so\.6|libpng16\.so\.16|libz\.so\.1|/lib64/ld-linux-x86-64\.so\.2)$'
loaded=$(LC_ALL=C ldd "$program" | awk '{print $1}')
[ -n "$loaded" ] || { echo "FAIL: ldd listed nothing for $program"; exit 1; }
unexpected=$(grep -Ev "$allowed" <<<"$loaded" || true)
if [ -n "$unexpected" ]; then
  echo "FAIL: $program loads more than it needs:"
  echo "$unexpected"
  exit 1
fi
echo "$program loads: $(tr '\n' ' ' <<<"$loaded")"
