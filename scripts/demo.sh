#!/usr/bin/env bash
# The demo in one command: installs what is missing (Debian 12, as root),
# builds, imports the sample accounts into a fresh data folder, starts the IM
# server and a scripted colleague (鈴木 一郎, u02, who answers every message),
# and starts the client logged on as 佐藤 花子 (u01) with the password
# remembered. Closing the client stops the rest.
#
# The connections are encrypted: a throwaway certificate authority and a
# server certificate for 127.0.0.1 and localhost are made in the demo folder,
# the server serves TLS with them, and the client trusts only that authority
# (TLS=1, CAFILE= in its user.ini). VANTREL_DEMO_TLS=0 runs it in plain TCP.
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

tls=${VANTREL_DEMO_TLS:-1}

say() { printf 'demo: %s\n' "$*" >&2; }
source "$root/scripts/ports.sh"

# A certificate authority made for this demo only, and a server certificate it
# signs for the names the client and the colleague connect to.
make_certificates() {
    local dir=$1
    mkdir -p "$dir"
    local key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    openssl req -x509 "${key[@]}" -days 30 -subj "/CN=Vantrel demo CA" \
        -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
    openssl req "${key[@]}" -subj "/CN=localhost" -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n' \
        > "$dir/server.ext"
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 30 \
        -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
    chmod 600 "$dir"/*.key
}

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

server_tls=()
peer_tls=()
client_tls=
if [ "$tls" = 1 ]; then
    if ! "$build/bin/vantrel-server" --help 2>&1 | grep -q -- --tls-cert; then
        say "this server does not serve TLS yet; plain TCP"
        tls=0
    else
        make_certificates "$demo/tls"
        server_tls=(--tls-cert "$demo/tls/server.pem" --tls-key "$demo/tls/server.key")
        if "$build/bin/vantrel-peer" --help 2>&1 | grep -q -- --tls-ca; then
            peer_tls=(--tls-ca "$demo/tls/ca.pem")
        else
            say "the colleague cannot speak TLS yet; it stays away"
            peer_tls=(skip)
        fi
        client_tls="TLS=1\r\nCAFILE=$demo/tls/ca.pem\r\n"
        say "TLS with the demo authority $demo/tls/ca.pem"
    fi
fi

# The server picks a free port and names it in its log.
"$build/bin/vantrel-server" --data "$demo/data" --port 0 "${server_tls[@]}" 2> >(tee "$demo/server.log" >&2) &
pids+=($!)
if ! port=$(port_in_log "$demo/server.log"); then
    say "the server did not start; see $demo/server.log"
    exit 1
fi
say "server on 127.0.0.1:$port"

if [ "${peer_tls[*]}" != skip ]; then
    "$build/bin/vantrel-peer" --port "$port" "${peer_tls[@]}" --user "$peer_user" --password "$peer_password" \
        2> "$demo/peer.log" &
    pids+=($!)
fi

# user.ini is code page 932 with CR LF, as the client reads and writes it.
printf '[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=%s\r\n%b[USER]\r\nID=%s\r\nCORP=0\r\nPWD=%s\r\nPWDMEMORY=1\r\n' \
    "$port" "$client_tls" "$client_user" "$client_password" | iconv -f UTF-8 -t CP932 > "$demo/client/user.ini"

say "starting the client as $client_user; close it to end the demo"
cd "$demo/client"
"$build/bin/vantrel-im" || true
