#!/usr/bin/env bash
# cartscope update-db against the local test servers:
#   run_with_servers.sh --native update_db_test.sh CARTSCOPE ROM
# ROM is a ROM of game code KSCE. Each case sets up the data folder and the
# served folder, runs update-db, and checks its exit status, its message and
# the database installed afterwards (and that no download is left beside
# it). Then readers run "cartscope info --db" on the data folder's database
# while update-db swaps it 50 times between two versions whose records differ
# in every field and in their places: each read must be wholly one of the two.
set -uo pipefail

cli=$1 rom=$2
www=$CARTSCOPE_TEST_WWW_UNIX
work=$(mktemp -d)
reader_pid=
trap '[ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data
folder=$XDG_DATA_HOME/cartscope
unset CURL_CA_BUNDLE CARTSCOPE_TEST_TRUSTED_KEY

# A release list: KSCE as variant $1 ("A" or "B"), between $2 other games
# before it and as many after it.
make_list() {
  printf 'game code\tROM code\tname\tcountry\tgenre\tpublisher\tlanguage mask\tWiFi\trelease number\trelease group\tCRC-32\n'
  for i in $(seq 100 $((99 + $2))); do
    printf 'A%03d\tNTR-A%03d-USA\tOther %s %d\tUSA\tPuzzle\tTest\t1\tNo\t%04d\tTest\t\n' "$i" "$i" "$1" "$i" "$i"
  done
  if [ "$1" = A ]; then
    printf 'KSCE\tNTR-KSCE-USA\tStar Courier\tUSA\tAction\tAlpha Soft\t1\tNo\t0001\tGroup A\t\n'
  else
    printf 'KSCE\tNTR-KSCE-EUR\tStar Courier Deluxe Edition\tEurope\tShooter\tBeta Games\t2\tYes\t0002\tGroup B\t\n'
  fi
  for i in $(seq 400 $((399 + $2))); do
    printf 'Z%03d\tNTR-Z%03d-USA\tOther %s %d\tUSA\tPuzzle\tTest\t1\tNo\t%04d\tTest\t\n' "$i" "$i" "$1" "$i" "$i"
  done
}
make_list A 50 >"$work/a.tsv"
make_list B 120 >"$work/b.tsv"
# database VERSION [A|B]: the path of that database, built once.
database() {
  local file=$work/db-$1-${2:-A}.dat
  if [ ! -e "$file" ]; then
    "$cli" db build "$work/$(tr AB ab <<<"${2:-A}").tsv" -o "$file" --version "$1" >/dev/null || {
      echo "FAIL: database v$1 could not be built" >&2
      exit 1
    }
  fi
  echo "$file"
}

# --- the pieces a case is set up from ---
installed() { mkdir -p "$folder" && cp "$(database "$1")" "$folder/nds-rom.dat"; }
serve_database() { cp "${2:-$(database "$1")}" "$www/nds-rom.dat"; }
version_file() { printf '%s\r\n' "$@" >"$www/version.txt"; }
sha256_of() { sha256sum "$1" | cut -d' ' -f1; }
sign() { openssl dgst -sha256 -sign "$CARTSCOPE_TEST_SIGNING_KEYS/${1:-update}.key" -out "$www/version.txt.sig" "$www/version.txt"; }
trust_test_key() { export CARTSCOPE_TEST_TRUSTED_KEY=$CARTSCOPE_TEST_UPDATE_KEY; }
server=$CARTSCOPE_TEST_HTTP

# --- cases: set-up functions ---
setup_newer() { installed 36; serve_database 37; version_file database:37; }
setup_first() { serve_database 37; version_file database:37; }
setup_same() { installed 37; serve_database 37; version_file database:37; }
setup_older() { installed 37; serve_database 36; version_file database:36; }
setup_damaged_installed() {
  installed 36
  head -c 100 "$(database 36)" >"$folder/nds-rom.dat"
  serve_database 37
  version_file database:37
}
setup_no_version_file() { installed 36; serve_database 37; }
setup_no_database_key() { installed 36; serve_database 37; version_file cmd_exe:1.2.0.0; }
setup_database_404() { installed 36; version_file database:37; }
setup_truncated() {
  installed 36
  head -c 2000 "$(database 37)" >"$work/truncated.dat"
  serve_database 37 "$work/truncated.dat"
  version_file database:37
}
setup_damaged() {
  installed 36
  cp "$(database 37)" "$work/damaged.dat"
  # The index: its offsets point past the file.
  head -c 400 /dev/zero | tr '\0' '\377' | dd of="$work/damaged.dat" bs=1 seek=8 conv=notrunc status=none
  serve_database 37 "$work/damaged.dat"
  version_file database:37
}
setup_wrong_version() { installed 36; serve_database 37; version_file database:38; }
setup_stale_download() {
  setup_newer
  echo leftover >"$folder/nds-rom.dat.new"
}
setup_own_url() {
  installed 36
  cp "$(database 37)" "$www/elsewhere.dat"
  version_file database:37 "database_url:$server/Cartscope/elsewhere.dat"
}
setup_huge_version_file() {
  installed 36
  serve_database 37
  { printf 'database:37\r\n'; head -c 70000 /dev/zero | tr '\0' x; } >"$www/version.txt"
}
setup_huge_database() { installed 36; version_file database:37 "database_url:$server/huge?n=70000000"; }
setup_https() { server=$CARTSCOPE_TEST_HTTPS; export CURL_CA_BUNDLE=$CARTSCOPE_TEST_CA; setup_newer; }
setup_https_other_authority() { setup_https; export CURL_CA_BUNDLE=$CARTSCOPE_TEST_OTHER_CA; }
setup_https_other_name() { setup_https; server=$CARTSCOPE_TEST_HTTPS_OTHER_NAME; }
setup_https_to_http_url() {
  setup_https
  version_file database:37 "database_url:$CARTSCOPE_TEST_HTTP/Cartscope/nds-rom.dat"
}
setup_https_redirected_to_http() {
  setup_https
  version_file database:37 "database_url:$CARTSCOPE_TEST_HTTPS/goto?to=$CARTSCOPE_TEST_HTTP/Cartscope/nds-rom.dat"
}
setup_too_many_redirects() { setup_newer; version_file database:37 "database_url:$server/hops?n=11"; }
setup_signed() {
  trust_test_key
  setup_newer
  version_file database:37 "database_sha256:$(sha256_of "$(database 37)")"
  sign
}
setup_signed_foreign() { setup_signed; sign foreign; }
setup_signed_unsigned() { setup_signed; rm "$www/version.txt.sig"; }
setup_signed_changed() { setup_signed; printf 'database_url:%s/Cartscope/nds-rom.dat\r\n' "$server" >>"$www/version.txt"; }
setup_signed_hash_mismatch() {
  trust_test_key
  setup_newer
  version_file database:37 "database_sha256:$(sha256_of "$(database 37 B)")"
  sign
}
setup_signed_no_hash() { trust_test_key; setup_newer; sign; }
setup_signed_damaged_signature() { setup_signed; printf 'x' >>"$www/version.txt.sig"; }

# name | exit status | message (a fixed text its output holds) | version installed afterwards
cases=(
  "newer|0|updated v36 -> v37|37"
  "first|0|updated v0 -> v37|37"
  "same|0|up to date (v37)|37"
  "older|0|up to date (v37)|37"
  "damaged_installed|0|updated v0 -> v37|37"
  "no_version_file|1|version.txt: HTTP status 404|36"
  "no_database_key|1|offers no database|36"
  "database_404|1|nds-rom.dat: HTTP status 404|36"
  "truncated|1|is not usable: not a release database|36"
  "damaged|1|is not usable: not a release database|36"
  "wrong_version|1|is not usable: its version is v37, not v38|36"
  "stale_download|0|updated v36 -> v37|37"
  "own_url|0|updated v36 -> v37|37"
  "huge_version_file|1|the answer is larger than 65536 bytes|36"
  "huge_database|1|the answer is larger than 67108864 bytes|36"
  "https|0|updated v36 -> v37|37"
  "https_other_authority|1|the version file could not be fetched|36"
  "https_other_name|1|the version file could not be fetched|36"
  "https_to_http_url|1|without HTTPS|36"
  "https_redirected_to_http|1|the database could not be fetched|36"
  "too_many_redirects|1|the database could not be fetched|36"
  "signed|0|updated v36 -> v37|37"
  "signed_foreign|1|cannot be trusted: the signature does not match|36"
  "signed_unsigned|1|version.txt.sig: HTTP status 404|36"
  "signed_changed|1|cannot be trusted: the signature does not match|36"
  "signed_hash_mismatch|1|is not usable: its SHA-256 is not the signed one|36"
  "signed_no_hash|1|gives no database_sha256|36"
  "signed_damaged_signature|1|cannot be trusted|36"
)

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

installed_version() {
  if [ -e "$folder/nds-rom.dat" ]; then "$cli" db version "$folder/nds-rom.dat" 2>/dev/null | grep -o '[0-9]*$'; else echo none; fi
}

for entry in "${cases[@]}"; do
  IFS='|' read -r name status message after <<<"$entry"
  rm -rf "$XDG_DATA_HOME" "$www"/*
  server=$CARTSCOPE_TEST_HTTP
  unset CURL_CA_BUNDLE CARTSCOPE_TEST_TRUSTED_KEY
  "setup_$name"
  out=$("$cli" update-db --server "$server" 2>&1)
  actual=$?
  [ "$actual" = "$status" ] || fail "$name: exit status $actual, not $status: $out"
  grep -qF -- "$message" <<<"$out" || fail "$name: \"$message\" not in: $out"
  [ "$(installed_version)" = "$after" ] || fail "$name: v$(installed_version) installed afterwards, not v$after"
  [ ! -e "$folder/nds-rom.dat.new" ] || fail "$name: the download was left beside the database"
  if [ "$status" != 0 ] && [ -n "$(grep -v '^cartscope: update-db: ' <<<"$out")" ]; then
    fail "$name: more than the reason on a failure: $out"
  fi
done
unset CURL_CA_BUNDLE CARTSCOPE_TEST_TRUSTED_KEY

# Usage errors, and a user without a data folder.
for arguments in "--server ftp://localhost/" "--server=" "--server" "--server file:///etc" "extra"; do
  # shellcheck disable=SC2086
  "$cli" update-db $arguments >/dev/null 2>&1
  actual=$?
  [ "$actual" = 2 ] || fail "update-db $arguments: exit status $actual, not 2"
done
out=$(env -u XDG_DATA_HOME HOME=relative "$cli" update-db --server "$CARTSCOPE_TEST_HTTP" 2>&1)
actual=$?
[ "$actual" = 1 ] && grep -qF "no data folder" <<<"$out" || fail "no data folder: exit status $actual: $out"

# An installed database of the same version is not downloaded again.
rm -rf "$XDG_DATA_HOME" "$www"/*
setup_same
"$cli" update-db --server "$server" >/dev/null 2>&1
if grep -q 'nds-rom.dat' "$www/requests.log"; then fail "same: the database was downloaded though it is current"; fi

# --- swaps under readers ---
rm -rf "$XDG_DATA_HOME" "$www"/*
installed 1
reads=$work/reads.log
(
  while [ ! -e "$work/stop" ]; do
    out=$("$cli" info --db "$folder/nds-rom.dat" "$rom" 2>&1)
    echo "$?|$(grep -E '^(ROM-Code|Name|Genre|Publisher|Country|WiFi|Release-Nr.|Release-Group): ' <<<"$out" | tr '\n' '|')"
  done >"$reads"
) &
reader_pid=$!
read_a="0|ROM-Code: NTR-KSCE-USA|Name: Star Courier|Genre: Action|Publisher: Alpha Soft|Country: USA|WiFi: No|Release-Nr.: 0001|Release-Group: Group A|"
read_b="0|ROM-Code: NTR-KSCE-EUR|Name: Star Courier Deluxe Edition|Genre: Shooter|Publisher: Beta Games|Country: Europe|WiFi: Yes|Release-Nr.: 0002|Release-Group: Group B|"
for round in $(seq 50); do
  version=$((round + 1))
  variant=$([ $((round % 2)) -eq 1 ] && echo B || echo A)
  serve_database "$version" "$(database "$version" "$variant")"
  version_file "database:$version"
  out=$("$cli" update-db --server "$server" 2>&1) || fail "swap $round: $out"
  [ "$out" = "updated v$((version - 1)) -> v$version" ] || fail "swap $round: $out"
done
touch "$work/stop"
wait "$reader_pid"
reader_pid=
total=$(wc -l <"$reads")
as=$(grep -cxF -- "$read_a" "$reads")
bs=$(grep -cxF -- "$read_b" "$reads")
echo "swaps: $total reads during 50 swaps: $as of one version, $bs of the other"
[ "$total" -gt 0 ] || fail "swaps: no read"
if [ $((as + bs)) -ne "$total" ]; then
  fail "swaps: $((total - as - bs)) reads failed or mixed the two versions:"
  grep -vxF -e "$read_a" -e "$read_b" "$reads" | sort | uniq -c | head -5
fi
[ "$(installed_version)" = 51 ] || fail "swaps: v$(installed_version) installed at the end, not v51"

if [ "$failures" -ne 0 ]; then
  echo "update-db: $failures failures"
  exit 1
fi
echo "update-db: ${#cases[@]} cases and 50 swaps passed"
