#!/usr/bin/env bash
# Our server over TLS beside the same build over plain TCP, in one run, with
# the same load generator: 500 clients, each messaging a fixed partner. The
# passes go plain, TLS, TLS, plain so that the machine's drift weighs on both
# alike; each pass starts the server afresh, measures what a connection costs
# it up to the greeting (over TLS the handshake), logs the clients on in a
# storm and runs routing rounds. Prints min and median over every round of a
# kind, the ratios TLS / plain of the medians, the handshake's server CPU per
# logon (TLS connection minus plain connection) beside one password check's.
#
#   bench/load/compare-tls.sh [--rounds 8] [--clients 500] [--handshakes 1000]
#                             [--build DIR] [--out DIR]
#
# Needs: ninja -C DIR vantrel-server vantrel-load logon_check_cost; openssl.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build"
rounds=8
clients=500
handshakes=1000
out=""
while (($#)); do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --handshakes) handshakes=$2; shift 2 ;;
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done

say() { printf 'compare-tls: %s\n' "$*" >&2; }
load="$build/bin/vantrel-load"
server_bin="$build/bin/vantrel-server"
cost_bin="$build/bin/logon_check_cost"
for f in "$load" "$server_bin" "$cost_bin"; do
    [ -x "$f" ] || { say "missing $f: ninja -C $build vantrel-server vantrel-load logon_check_cost"; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-compare-tls.XXXXXX)
[ -n "$out" ] || out="$work"
mkdir -p "$out"
rounds_file="$out/rounds.txt"
: > "$rounds_file"
source "$root/bench/load/common.sh"
trap 'stop_server; rm -rf "$work/data" "$work/tls"' EXIT

# The same account cache as compare.sh.
accounts_cache="$build/bench-load-accounts-$clients"
import_accounts "$server_bin" "$accounts_cache" "$clients" || exit 1

# A throwaway authority and a server certificate for 127.0.0.1, as a site
# would have (P-256 keys, what the demo makes too).
tls="$work/tls"
mkdir -p "$tls"
ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
openssl req -x509 "${ec[@]}" -keyout "$tls/ca.key" -out "$tls/ca.pem" -days 2 -subj /CN=bench-ca 2> /dev/null
printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1\n' > "$tls/ext"
openssl req "${ec[@]}" -keyout "$tls/server.key" -out "$tls/server.csr" -subj /CN=bench 2> /dev/null
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
    -out "$tls/server.pem" -days 2 -extfile "$tls/ext" 2> /dev/null

# One pass: a fresh server, plain or over TLS, and the load against it; its
# round lines go to the rounds file as "MODE KEY VALUE".
pass() {
    local mode=$1 n=$2 server_args=() load_args=()
    if [ "$mode" = tls ]; then
        server_args=(--tls-cert "$tls/server.pem" --tls-key "$tls/server.key")
        load_args=(--tls-ca "$tls/ca.pem")
    fi
    stop_server
    rm -rf "$work/data"
    cp -a "$accounts_cache" "$work/data"
    local port=""
    launch_server "$server_bin" "$out/server-$mode-$n.log" --data "$work/data" --port 0 "${server_args[@]}" || exit 1
    say "pass $n: $mode"
    "$load" --port "$port" --server-pid "$pid" "${load_args[@]}" --clients "$clients" --logon storm-reconnect \
        --handshakes "$handshakes" --rounds "$per_pass" | tee "$out/load-$mode-$n.txt" >&2 ||
        say "pass $n ($mode) did not finish; its figures are left out"
    stop_server
    sed -n "s/^round [0-9]* handshakes: .* = \([0-9.]*\) ms each$/$mode connection_cpu_ms \1/p" \
        "$out/load-$mode-$n.txt" >> "$rounds_file"
    routing_figures "$mode" "$out/load-$mode-$n.txt" >> "$rounds_file"
    sed -n "s/^RESULT storm_reconnect_\(all_on_s\|server_cpu_s\) \([0-9.e+-]*\) .*/$mode storm_\1 \2/p" \
        "$out/load-$mode-$n.txt" >> "$rounds_file"
}

per_pass=$(((rounds + 1) / 2))
say "results and logs in $out"
pass plain 1
pass tls 2
pass tls 3
pass plain 4

check=$("$cost_bin" "$accounts_cache" L0 pw0 9 | sed -n 's/^RESULT check_cost_s [0-9.e+-]* \([0-9.e+-]*\) .*/\1/p')

awk -v clients="$clients" -v check="$check" '
{ v[$1, $2, ++n[$1, $2]] = $3 }
function sorted(mode, key,    i, j, t, c) {
    c = n[mode, key]
    for (i = 1; i <= c; i++) s[i] = v[mode, key, i]
    for (i = 2; i <= c; i++) for (j = i; j > 1 && s[j - 1] > s[j]; j--) { t = s[j]; s[j] = s[j - 1]; s[j - 1] = t }
    return c
}
function median(mode, key,    c) { c = sorted(mode, key); return c ? (c % 2 ? s[(c + 1) / 2] : (s[c / 2] + s[c / 2 + 1]) / 2) : "" }
function least(mode, key) { return sorted(mode, key) ? s[1] : "" }
function num(x) { return x == "" ? "-" : (x >= 1000 ? sprintf("%.0f", x) : sprintf("%.3g", x)) }
function row(label, key,    p, t) {
    p = median("plain", key); t = median("tls", key)
    printf("| %s | %s / %s | %s / %s | %s |\n", label, num(least("plain", key)), num(p), num(least("tls", key)), num(t),
           (p != "" && t != "" && p != 0) ? sprintf("%.2f", t / p) : "-")
}
END {
    print ""
    print "| measurement (min / median over rounds) | plain TCP | TLS | TLS / plain |"
    print "|---|---|---|---|"
    row("saturated routing, msgs/s, " clients " clients", "saturated_msgs_per_s")
    row("copy-back p50 ms at saturation", "saturated_p50_ms")
    row("copy-back p99 ms at saturation", "saturated_p99_ms")
    row("delivery p99 ms at saturation", "saturated_delivery_p99_ms")
    row("copy-back p99 ms at a fixed 5,000 msgs/s", "fixed_rate_p99_ms")
    row("delivery p99 ms at a fixed 5,000 msgs/s (the line at its recipient)", "fixed_rate_delivery_p99_ms")
    row("server CPU-s per 10,000 msgs at saturation", "saturated_cpu_per_10k")
    row("server CPU-s per 10,000 msgs at 5,000/s", "fixed_rate_cpu_per_10k")
    row("server CPU ms per connection up to the greeting", "connection_cpu_ms")
    row("logon storm with reconnect: s until all on", "storm_all_on_s")
    row("logon storm with reconnect: server CPU-s", "storm_server_cpu_s")
    hs = median("tls", "connection_cpu_ms") - median("plain", "connection_cpu_ms")
    print ""
    printf("handshake: %.3f ms of server CPU per logon (median TLS connection minus median plain connection)\n", hs)
    if (check != "")
        printf("password check: %.3f ms per logon (median of 9); handshake / check = %.3f\n", check * 1e3, hs / (check * 1e3))
    m = median("tls", "saturated_msgs_per_s") / median("plain", "saturated_msgs_per_s")
    p = median("tls", "saturated_p99_ms") / median("plain", "saturated_p99_ms")
    printf("targets: msgs/s TLS/plain %.2f (at least 0.8: %s); p99 TLS/plain %.2f (at most 1.5: %s)\n",
           m, m >= 0.8 ? "met" : "NOT met", p, p <= 1.5 ? "met" : "NOT met")
}' "$rounds_file" | tee "$out/table.md"
