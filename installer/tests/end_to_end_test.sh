#!/usr/bin/env bash
# A release as a user meets it, under Wine in a throwaway prefix:
#  1. for the current user: the installer puts the files, the Start-menu
#     shortcut and the class entries in place; the installed library gives the
#     info tip of a sample ROM; a newer database and library, published with
#     `cartscope publish --sign` into a folder that a plain static web server
#     serves, reach the installed program's automatic update; the uninstall
#     takes everything away but the user's database and settings;
#  2. for all users: install, Wine's own shell asks the installed library for
#     the info tip, uninstall.
# The shipped program has no test hooks, so this test builds a program of its
# own whose built-in update server is the local one and which trusts the
# test's signing key, and packages it with the release library.
#   end_to_end_test.sh SOURCE_DIR WORK_DIR CARTSCOPE SHELLPROBE LIBRARY TEMPLATE_PREFIX
# CARTSCOPE is the Linux command line, SHELLPROBE the 64-bit test client,
# LIBRARY the release build's Cartscope.dll; WORK_DIR keeps the test's own
# builds between runs; the test's prefix is a copy (hard links) of
# TEMPLATE_PREFIX, which the project's Wine runner makes on first use.
set -euo pipefail
source=$1 work=$2 cartscope=$3 shellprobe=$4 library=$5 template=$6
[ -x "$cartscope" ] || { echo "FAIL: no command line at $cartscope: build the linux preset first"; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
tmp=$(mktemp -d)
server_pid=
cleanup() {
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  WINEPREFIX=$tmp/prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
step() { echo "-- $*"; }

version=$(sed -n 's/^project(Cartscope VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
newer=${version%.*}.$((${version##*.} + 1))

# The signing key of this test's update server.
[ -f "$work/update-key.pem" ] || openssl ecparam -name prime256v1 -genkey -noout -out "$work/update-key.pem" 2>/dev/null
openssl ec -in "$work/update-key.pem" -pubout -out "$work/update-key.pub.pem" 2>/dev/null

# A free port for the update server, built into the test's program.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

build() {  # DIR TOOLCHAIN [CMAKE OPTIONS...]: a release build in WORK_DIR/DIR
  local dir=$work/$1 toolchain=$2
  shift 2
  if ! { cmake -S "$source" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/$toolchain.cmake" -DCARTSCOPE_TESTS=OFF -DCARTSCOPE_TEST_HOOKS=OFF "$@" &&
    cmake --build "$dir"; } >"$tmp/build.log" 2>&1; then
    cat "$tmp/build.log"
    echo "FAIL: the build in $dir failed"
    exit 1
  fi
}
step "building the test's program (update server http://localhost:$port) and a newer library ($newer)"
build program mingw-w64-i686 -DCARTSCOPE_UPDATE_SERVER="http://localhost:$port" \
  -DCARTSCOPE_UPDATE_PUBLIC_KEY="$work/update-key.pub.pem"
build newer-library mingw-w64-x86_64 -DCARTSCOPE_VERSION="$newer"
program="$work/program/cmd/Cartscope CMD.exe"
newer_library=$work/newer-library/shellext/Cartscope.dll

step "packaging the test's installer ($version)"
msi=$tmp/Cartscope-$version.msi
bash "$source/installer/make_msi.sh" --library "$library" --program "$program" --version "$version" -o "$msi"

# The prefix and the commands in it.
bash "$source/cmake/wine-run.sh" "$template" cmd /c exit 0 </dev/null >/dev/null 2>&1 || { echo "FAIL: no Wine prefix"; exit 1; }
cp -al "$template" "$tmp/prefix"
for file in "$template"/*.reg; do
  rm "$tmp/prefix/$(basename "$file")"
  cp "$file" "$tmp/prefix/"
done
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# shellcheck source=../../cmake/wine-loader.sh
. "$source/cmake/wine-loader.sh"
untried=
wine_run() { CARTSCOPE_WINE_TIMEOUT=120 bash "$source/cmake/wine-run.sh" "$WINEPREFIX" "$@" </dev/null; }
wine_path() { wine_run winepath -u "$1" | tr -d '\r'; }
folder_of() { wine_path "$(wine_run cmd /c echo "$1" | tr -d '\r')"; }
reg_has() { wine_run reg query "$1" /reg:64 >/dev/null 2>&1; }
clsid=$(sed -n 's/.*kClsidText\[\] = L"\({[^}]*}\)".*/\1/p' "$source/shellext/registry_table.h" | head -n 1)
[ -n "$clsid" ] || { echo "FAIL: the class identifier cannot be read from registry_table.h"; exit 1; }

# The info tip of the sample ROM, as the library writes it.
is_our_tip() {
  case "$1" in
    "star-courier.nds"$'\n'*$'\n'"ROM-Size: 1MB (8Mbit)"$'\n'*) return 0 ;;
    *) return 1 ;;
  esac
}

# The user's own data, which no uninstall may take: an older database and a
# setting.
"$cartscope" db build "$source/samples/releases.tsv" -o "$tmp/old.dat" --version 7 >/dev/null
"$cartscope" db build "$source/samples/releases.tsv" -o "$tmp/new.dat" --version 8 >/dev/null
wine_run cmd /c mkdir '%APPDATA%\Cartscope' >/dev/null 2>&1 || true
appdata=$(folder_of '%APPDATA%')
cp "$tmp/old.dat" "$appdata/Cartscope/nds-rom.dat"
wine_run reg add 'HKCU\Software\Velmora\Cartscope' /v e2e /t REG_SZ /d kept /f >/dev/null

# ---------------------------------------------------------------------------
step "per-user install"
wine_run msiexec /i "$(wine_run winepath -w "$msi" | tr -d '\r')" /qn || fail "msiexec /i ended with $?"
installed=$(folder_of '%LOCALAPPDATA%')/Programs/Cartscope
[ -f "$installed/Cartscope.dll" ] || fail "no Cartscope.dll in $installed"
[ -f "$installed/Cartscope CMD.exe" ] || fail "no Cartscope CMD.exe in $installed"
cmp -s "$installed/Cartscope.dll" "$library" || fail "the installed library is not the packaged one"
start_menu=$(folder_of '%APPDATA%')/Microsoft/Windows/Start\ Menu/Programs
shortcut=$(find "$start_menu" -name 'Cartscope Settings.lnk' 2>/dev/null | head -n 1)
[ -n "$shortcut" ] || fail "no \"Cartscope Settings\" shortcut in the user's Start menu"
reg_has "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" || fail "no per-user class entry"
reg_has 'HKCU\Software\Classes\.nds\ShellEx\{00021500-0000-0000-C000-000000000046}' || fail "no per-user info-tip handler"
reg_has "HKLM\\Software\\Classes\\CLSID\\$clsid" && fail "a per-user install wrote the machine's class entries"

# Wine's COM ignores per-user class registrations, so its shell cannot find a
# per-user handler (Windows' does): the library that the per-user entry names
# is asked as the Explorer would ask it.
registered=$(wine_run reg query "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /reg:64 | tr -d '\r' |
  sed -n 's/.*REG_SZ[[:space:]]*//p')
tip=$(wine_run "$shellprobe" --library "$registered" tip "$source/samples/star-courier.nds" | tr -d '\r' || true)
is_our_tip "$tip" || fail "the installed library's info tip: $tip"

# ---------------------------------------------------------------------------
step "publishing a newer database and library, signed"
site=$tmp/site
"$cartscope" publish --program "$program" --library "$newer_library" --database "$tmp/new.dat" -o "$site" \
  --sign "$work/update-key.pem" || fail "cartscope publish ended with $?"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >"$tmp/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
  sleep 0.1
done

# The user's database after the update.
kept=$tmp/new.dat
if machine_runs_i386; then
  step "the installed program's automatic update"
  CARTSCOPE_GUI_TIMEOUT=180 bash "$source/cmake/wine-gui-run.sh" "$WINEPREFIX" "$installed/Cartscope CMD.exe" /command:auto_update ||
    fail "the update ended with $?"
  grep -q 'GET /Cartscope/version.txt.sig' "$tmp/server.log" || fail "the program did not ask for the signature"
  cmp -s "$appdata/Cartscope/nds-rom.dat" "$site/Cartscope/nds-rom.dat" || fail "the published database was not installed"
  cmp -s "$installed/Cartscope.dll" "$newer_library" || fail "the published library was not installed"
  cmp -s "$installed/Cartscope CMD.exe" "$program" || fail "the program changed, though nothing newer was offered"

  # A version file changed after signing: nothing is installed.
  "$cartscope" db build "$source/samples/releases.tsv" -o "$tmp/newest.dat" --version 9 >/dev/null
  cp "$tmp/newest.dat" "$site/Cartscope/nds-rom.dat"
  sed -i 's/^database:8/database:9/' "$site/Cartscope/version.txt"
  CARTSCOPE_GUI_TIMEOUT=180 bash "$source/cmake/wine-gui-run.sh" "$WINEPREFIX" "$installed/Cartscope CMD.exe" /command:auto_update || true
  cmp -s "$appdata/Cartscope/nds-rom.dat" "$tmp/new.dat" || fail "a database offered by a forged version file was installed"
else
  # The update is the 32-bit program's work.
  untried="the installed program's update: $no_i386_reason"
  step "not tried: $untried"
  kept=$tmp/old.dat
fi
kill "$server_pid" 2>/dev/null || true
server_pid=

step "per-user uninstall"
wine_run msiexec /x "$(wine_run winepath -w "$msi" | tr -d '\r')" /qn || fail "msiexec /x ended with $?"
[ ! -e "$installed/Cartscope.dll" ] || fail "Cartscope.dll is still installed"
[ ! -e "$installed/Cartscope CMD.exe" ] || fail "Cartscope CMD.exe is still installed"
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
reg_has "HKCU\\Software\\Classes\\CLSID\\$clsid" && fail "the per-user class entry is still there"
cmp -s "$appdata/Cartscope/nds-rom.dat" "$kept" || fail "the user's database did not stay"
wine_run reg query 'HKCU\Software\Velmora\Cartscope' /v e2e >/dev/null 2>&1 || fail "the user's settings did not stay"

# ---------------------------------------------------------------------------
step "all-users install"
wine_run msiexec /i "$(wine_run winepath -w "$msi" | tr -d '\r')" ALLUSERS=1 /qn || fail "msiexec /i ALLUSERS=1 ended with $?"
machine=$(folder_of '%ProgramW6432%')/Cartscope
[ -f "$machine/Cartscope.dll" ] || fail "no Cartscope.dll in $machine"
reg_has "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" || fail "no machine class entry"
reg_has 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.nds' || fail "no property handler entry"
# A real client: Wine's own shell finds the info-tip handler through the
# machine's class entries.
mkdir -p "$tmp/probe"
cp "$shellprobe" "$library" "$tmp/probe/"
tip=$(wine_run "$tmp/probe/$(basename "$shellprobe")" shelltip "$source/samples/star-courier.nds" | tr -d '\r' || true)
is_our_tip "$tip" || fail "Wine's shell gave the info tip: $tip"
step "all-users uninstall"
wine_run msiexec /x "$(wine_run winepath -w "$msi" | tr -d '\r')" ALLUSERS=1 /qn || fail "msiexec /x ALLUSERS=1 ended with $?"
[ ! -e "$machine/Cartscope.dll" ] || fail "Cartscope.dll is still in $machine"
reg_has "HKLM\\Software\\Classes\\CLSID\\$clsid" && fail "the machine class entry is still there"
reg_has 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.nds' &&
  fail "the property handler entry is still there"

[ $failures -eq 0 ] || exit 1
if [ -n "$untried" ]; then
  echo "SKIPPED: $untried (installation, info tips and uninstallation passed)"
  exit 77
fi
echo "ok: installed, updated from a signed publication and uninstalled, per user and for all users"
