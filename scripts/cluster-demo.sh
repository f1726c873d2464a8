#!/usr/bin/env bash
# Three server nodes in one command: installs what is missing (Debian 12, as
# root), builds, starts a throwaway PostgreSQL (the shared store) and Redis
# (the bus between nodes) on free ports, imports the sample accounts, starts
# three nodes, the scripted colleague (鈴木 一郎, u02) at the first node and
# the client as 佐藤 花子 (u01) at the second, logged on. Messages between
# them cross the bus. Closing the client stops the rest.
#
#   scripts/cluster-demo.sh            demo folder: build/cluster-demo
#   VANTREL_DEMO_DIR=/tmp/c scripts/cluster-demo.sh
#   VANTREL_DEMO_NO_CLIENT=1 ...       everything but the client; Enter stops it
#   VANTREL_JOBS=N ...                 build with N jobs (default 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
demo=${VANTREL_DEMO_DIR:-$root/build/cluster-demo}
client_user=u01
client_password=sakura01
peer_user=u02
peer_password=kaede02

say() { printf 'cluster-demo: %s\n' "$*" >&2; }

source "$root/scripts/throwaway-engines.sh"

pids=()
stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    stop_engines
}
trap stop_all EXIT

"$root/scripts/install-deps.sh"

say "building"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON \
    -DVANTREL_SANITIZE=OFF -DVANTREL_SERVER=ON -DVANTREL_BENCH=ON >/dev/null
ninja -C "$build" -j"${VANTREL_JOBS:-2}" vantrel-server vantrel-peer vantrel-im

say "fresh demo folder $demo"
rm -rf "$demo"
mkdir -p "$demo/client"

start_postgres "$demo/pg"
store=$pg_store
say "PostgreSQL at $store"

start_redis "$demo/redis"
bus=$redis_bus
say "Redis at $bus"

"$build/bin/vantrel-server" --store "$store" import-accounts "$root/server/sample-accounts.tsv"

ports=()
for node in 1 2 3; do
    "$build/bin/vantrel-server" --store "$store" --bus "$bus" --port 0 2> "$demo/node$node.log" &
    pids+=($!)
    if ! port=$(port_in_log "$demo/node$node.log"); then
        say "node $node did not start; see $demo/node$node.log"
        exit 1
    fi
    ports+=("$port")
    say "node $node on 127.0.0.1:$port (log $demo/node$node.log)"
done

"$build/bin/vantrel-peer" --port "${ports[0]}" --user "$peer_user" --password "$peer_password" \
    2> "$demo/peer.log" &
pids+=($!)
say "the colleague $peer_user at node 1"

if [ -n "${VANTREL_DEMO_NO_CLIENT:-}" ]; then
    say "running; press Enter to stop"
    read -r _
    exit 0
fi

# user.ini is code page 932 with CR LF, as the client reads and writes it.
printf '[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=%s\r\n[USER]\r\nID=%s\r\nCORP=0\r\nPWD=%s\r\nPWDMEMORY=1\r\n' \
    "${ports[1]}" "$client_user" "$client_password" | iconv -f UTF-8 -t CP932 > "$demo/client/user.ini"

say "starting the client as $client_user at node 2; close it to end the demo"
cd "$demo/client"
"$build/bin/vantrel-im" || true
