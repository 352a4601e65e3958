#!/usr/bin/env bash
# Runs a test program with an HTTP and an HTTPS test server on localhost:
#   run_with_servers.sh WINE_RUN PREFIX PROGRAM [ARGS...]   (a Windows program)
#   run_with_servers.sh --native PROGRAM [ARGS...]          (a program of this system)
# The program finds them through CARTSCOPE_TEST_HTTP and CARTSCOPE_TEST_HTTPS
# (base URLs), and the certificate authorities as PEM files (Windows paths
# for a Windows program, paths of this system for a native one)
# through CARTSCOPE_TEST_CA (the servers' own) and CARTSCOPE_TEST_OTHER_CA (an
# authority that signed nothing here); CARTSCOPE_TEST_HTTPS_OTHER_NAME is a
# third server on localhost whose certificate, from the same authority, names
# another host; CARTSCOPE_TEST_STALLED a port on 127.0.0.1 whose queue of
# connections is full, so that connecting to it never completes; the folder
# the servers serve under
# /Cartscope/ through CARTSCOPE_TEST_WWW (its requests.log lists each request).
# Two throwaway ECDSA P-256 key pairs sign version files through the servers'
# /control/sign: "update", whose public key (SubjectPublicKeyInfo, DER) is
# the file CARTSCOPE_TEST_UPDATE_KEY, and "foreign", which the updater never trusts.
set -euo pipefail
wine_run=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A throwaway authority and a certificate for "localhost" signed by it.
make_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=$2" \
    -keyout "$work/$1.key" -out "$work/$1.pem" 2>/dev/null
}
make_ca ca "Cartscope Test CA"
make_ca other "Cartscope Other CA"
# A server certificate for host name $2, signed by the authority.
make_certificate() {
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$work/$1.key" -out "$work/$1.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" >"$work/$1.cnf"
  openssl x509 -req -in "$work/$1.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
    -days 2 -extfile "$work/$1.cnf" -out "$work/$1.pem" 2>/dev/null
}
make_certificate server localhost
make_certificate elsewhere elsewhere.test

for key in update foreign; do
  openssl ecparam -name prime256v1 -genkey -noout -out "$work/$key.key" 2>/dev/null
  openssl ec -in "$work/$key.key" -pubout -outform DER -out "$work/$key.der" 2>/dev/null
done
export CARTSCOPE_TEST_SIGNING_KEYS="$work"

mkdir -p "$work/www"
export CARTSCOPE_TEST_WWW_UNIX="$work/www"
python3 "$here/test_server.py" "$work/http.port" &
pids+=($!)
python3 "$here/test_server.py" "$work/https.port" "$work/server.pem" "$work/server.key" &
pids+=($!)
python3 "$here/test_server.py" "$work/elsewhere.port" "$work/elsewhere.pem" "$work/elsewhere.key" &
pids+=($!)
python3 - "$work/stalled.port" <<'STALLED' &
import os, socket, sys, time
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0)  # never accepted: the queue fills at once
held = []
for _ in range(8):
    client = socket.socket()
    client.setblocking(False)
    client.connect_ex(listener.getsockname())
    held.append(client)
with open(sys.argv[1] + ".new", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.replace(sys.argv[1] + ".new", sys.argv[1])
time.sleep(3600)
STALLED
pids+=($!)
for i in $(seq 100); do
  [ -s "$work/stalled.port" ] && [ -s "$work/http.port" ] && [ -s "$work/https.port" ] && [ -s "$work/elsewhere.port" ] && break
  sleep 0.1
done
if ! [ -s "$work/http.port" ] || ! [ -s "$work/https.port" ] || ! [ -s "$work/elsewhere.port" ]; then
  echo "run_with_servers: the test servers did not start" >&2
  exit 1
fi

if [ "$wine_run" = --native ]; then
  windows_path() { echo "$1"; }
else
  windows_path() { echo "Z:${1//\//\\}"; }
fi
export CARTSCOPE_TEST_HTTP="http://localhost:$(cat "$work/http.port")"
export CARTSCOPE_TEST_HTTPS="https://localhost:$(cat "$work/https.port")"
export CARTSCOPE_TEST_STALLED="http://127.0.0.1:$(cat "$work/stalled.port")"
export CARTSCOPE_TEST_HTTPS_OTHER_NAME="https://localhost:$(cat "$work/elsewhere.port")"
export CARTSCOPE_TEST_CA=$(windows_path "$work/ca.pem")
export CARTSCOPE_TEST_OTHER_CA=$(windows_path "$work/other.pem")
export CARTSCOPE_TEST_WWW=$(windows_path "$work/www")
export CARTSCOPE_TEST_UPDATE_KEY=$(windows_path "$work/update.der")
status=0
if [ "$wine_run" = --native ]; then
  "$@" || status=$?
else
  "$wine_run" "$@" || status=$?
fi
exit $status
