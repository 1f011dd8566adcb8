#!/bin/bash
# halcyon.exe line --serve on the Wine machine: it announces a loopback
# port, answers the JSON endpoint and a bad request there, and ends by
# itself once its time is up with status 0.
#
#   line_serve.sh HALCYON_EXE PREFIX_ROOT WORK
set -eu
exe=$1 root=$2 work=$3
. "$(dirname "$0")/fresh_prefix.sh"
mkdir line

"$runner" "$exe" line line --serve 0 --for 8 >served.txt 2>&1 &
pid=$!
port=
for _ in $(seq 1 600); do
  port=$(sed -n 's|^serving http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' served.txt | tr -d '\r')
  [ -n "$port" ] && break
  kill -0 "$pid" 2>/dev/null || { cat served.txt; echo "the server ended before it listened"; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { cat served.txt; echo "no port announced"; exit 1; }

# One request on its own connection; the answer is what comes back.
ask() {
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf '%s' "$1" >&3
  cat <&3
  exec 3<&-
}
json=$(ask $'GET /line.json HTTP/1.1\r\nHost: x\r\n\r\n')
case $json in
  "HTTP/1.1 200 OK"*"Content-Type: application/json"*) ;;
  *) printf '%s\n' "$json"; echo "the JSON endpoint did not answer"; exit 1 ;;
esac
bad=$(ask $'BREW / COFFEE/1.0\r\n\r\n')
case $bad in
  "HTTP/1.1 400 Bad Request"*) ;;
  *) printf '%s\n' "$bad"; echo "a malformed request was not refused"; exit 1 ;;
esac

status=0
wait "$pid" || status=$?
cat served.txt
[ "$status" -eq 0 ] || { echo "the server ended with $status"; exit 1; }
echo "line served on port $port"
