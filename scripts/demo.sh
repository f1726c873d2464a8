#!/usr/bin/env bash
# The demo in one command: installs what is missing (Debian 12, as root),
# builds, imports the sample accounts into a fresh data folder, starts the IM
# server and a scripted colleague (鈴木 一郎, u02, who answers every message),
# and starts the client logged on as 佐藤 花子 (u01) with the password
# remembered. Closing the client stops the rest.
#
#   scripts/demo.sh            demo folder: build/demo
#   VANTREL_DEMO_DIR=/tmp/d scripts/demo.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
demo=${VANTREL_DEMO_DIR:-$root/build/demo}
client_user=u01
client_password=sakura01
peer_user=u02
peer_password=kaede02

say() { printf 'demo: %s\n' "$*" >&2; }

pids=()
stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap stop_all EXIT

"$root/scripts/install-deps.sh"

say "building"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON \
    -DVANTREL_SANITIZE=OFF -DVANTREL_SERVER=ON -DVANTREL_BENCH=ON
ninja -C "$build"

say "fresh demo folder $demo"
rm -rf "$demo"
mkdir -p "$demo/data" "$demo/client"
"$build/bin/vantrel-server" --data "$demo/data" import-accounts "$root/server/sample-accounts.tsv"

# The server picks a free port and names it in its log.
"$build/bin/vantrel-server" --data "$demo/data" --port 0 2> >(tee "$demo/server.log" >&2) &
pids+=($!)
port=
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$demo/server.log" 2>/dev/null | head -n1)
    [ -n "$port" ] && break
    sleep 0.1
done
if [ -z "$port" ]; then
    say "the server did not start; see $demo/server.log"
    exit 1
fi
say "server on 127.0.0.1:$port"

"$build/bin/vantrel-peer" --port "$port" --user "$peer_user" --password "$peer_password" 2> "$demo/peer.log" &
pids+=($!)

# user.ini is code page 932 with CR LF, as the client reads and writes it.
printf '[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=%s\r\n[USER]\r\nID=%s\r\nCORP=0\r\nPWD=%s\r\nPWDMEMORY=1\r\n' \
    "$port" "$client_user" "$client_password" | iconv -f UTF-8 -t CP932 > "$demo/client/user.ini"

say "starting the client as $client_user; close it to end the demo"
cd "$demo/client"
"$build/bin/vantrel-im" || true
