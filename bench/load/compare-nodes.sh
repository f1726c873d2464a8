#!/usr/bin/env bash
# Message routing on one node against three nodes over the bus, in one run,
# with the same load generator: 500 clients, each messaging a fixed partner.
# Three setups: one node on SQLite, one node on PostgreSQL, and three nodes on
# that PostgreSQL joined by Redis with the clients spread over them in turn,
# so that every partner sits at another node and every line crosses the bus.
# The passes go SQLite, PostgreSQL, three nodes, three nodes, PostgreSQL,
# SQLite so that the machine's drift weighs on all alike. Prints min and
# median over every round of a kind, the ratios, each node's and Redis's CPU
# per 10,000 messages and what that would let each carry on a core of its own.
#
#   bench/load/compare-nodes.sh [--rounds 6] [--clients 500] [--build DIR] [--out DIR]
#
# Needs: ninja -C DIR vantrel-server vantrel-load; postgresql, redis-server.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build"
rounds=6
clients=500
out=""
while (($#)); do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) sed -n '2,14p' "$0" >&2; exit 2 ;;
    esac
done

say() { printf 'compare-nodes: %s\n' "$*" >&2; }
load="$build/bin/vantrel-load"
server_bin="$build/bin/vantrel-server"
for f in "$load" "$server_bin"; do
    [ -x "$f" ] || { say "missing $f: ninja -C $build vantrel-server vantrel-load"; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-compare-nodes.XXXXXX)
chmod 755 "$work"
[ -n "$out" ] || out="$work"
mkdir -p "$out"
rounds_file="$out/rounds.txt"
: > "$rounds_file"
source "$root/bench/load/common.sh"
source "$root/scripts/throwaway-engines.sh"
nodes=()
stop_nodes() {
    local p
    for p in "${nodes[@]}"; do stop_process "$p"; done
    nodes=()
}
trap 'stop_server; stop_nodes; stop_engines; rm -rf "$work/data" "$work/pg" "$work/redis" "$work/accounts.tsv"
      rmdir "$work" 2>/dev/null || true' EXIT

accounts_cache="$build/bench-load-accounts-$clients"
import_accounts "$server_bin" "$accounts_cache" "$clients" || exit 1

say "a throwaway PostgreSQL and Redis"
start_postgres "$work/pg"
start_redis "$work/redis" || { say "redis-server did not answer"; exit 1; }
for ((i = 0; i < clients; i++)); do
    printf 'L%d\t0\tpw%d\tUser %d\t\tDept %d\n' "$i" "$i" "$i" $((i % 10))
done > "$work/accounts.tsv"
say "importing $clients accounts into PostgreSQL at the real hash cost"
"$server_bin" --store "$pg_store" import-accounts "$work/accounts.tsv" 2> "$out/pg-import.log" ||
    { cat "$out/pg-import.log" >&2; exit 1; }

# The round lines of one pass go to the rounds file as "SETUP KEY VALUE".
collect() {
    local setup=$1 file=$2
    routing_figures "$setup" "$file" >> "$rounds_file"
    # Three nodes: processes 1-3 are the nodes, 4 is Redis.
    sed -n "s/^round [0-9]* \(saturated\|fixed_rate\) by process, CPU-s per 10,000: \([0-9.]*\) \([0-9.]*\) \([0-9.]*\) \([0-9.]*\)$/$setup \1_node1 \2\n$setup \1_node2 \3\n$setup \1_node3 \4\n$setup \1_redis \5/p" \
        "$file" >> "$rounds_file"
}

run_load() {
    local setup=$1 n=$2 ports=$3 pids=$4
    "$load" --port "$ports" --server-pid "$pids" --clients "$clients" --logon storm-reconnect \
        --rounds "$per_pass" | tee "$out/load-$setup-$n.txt" >&2 ||
        say "pass $n ($setup) did not finish; its figures are left out"
    collect "$setup" "$out/load-$setup-$n.txt"
}

one_node() {
    local setup=$1 n=$2 port=""
    if [ "$setup" = sqlite ]; then
        rm -rf "$work/data"
        cp -a "$accounts_cache" "$work/data"
        launch_server "$server_bin" "$out/server-$setup-$n.log" --data "$work/data" --port 0 || exit 1
    else
        launch_server "$server_bin" "$out/server-$setup-$n.log" --store "$pg_store" --port 0 || exit 1
    fi
    say "pass $n: $setup, one node"
    run_load "$setup" "$n" "$port" "$pid"
    stop_server
}

three_nodes() {
    local n=$1 k port="" ports=() 
    for k in 1 2 3; do
        launch_server "$server_bin" "$out/server-nodes-$n-$k.log" --store "$pg_store" --bus "$redis_bus" --port 0 ||
            exit 1
        nodes+=("$pid")
        ports+=("$port")
        pid=""
    done
    say "pass $n: three nodes on ports ${ports[*]} over $redis_bus"
    run_load nodes "$n" "$(IFS=,; echo "${ports[*]}")" "$(IFS=,; echo "${nodes[*]},$redis_pid")"
    stop_nodes
}

per_pass=$(((rounds + 1) / 2))
say "results and logs in $out; load average $(cut -d' ' -f1-3 /proc/loadavg)"
one_node sqlite 1
one_node postgres 2
three_nodes 3
three_nodes 4
one_node postgres 5
one_node sqlite 6
say "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"

awk -v clients="$clients" '
{ v[$1, $2, ++n[$1, $2]] = $3 }
function sorted(setup, key,    i, j, t, c) {
    c = n[setup, key]
    for (i = 1; i <= c; i++) s[i] = v[setup, key, i]
    for (i = 2; i <= c; i++) for (j = i; j > 1 && s[j - 1] > s[j]; j--) { t = s[j]; s[j] = s[j - 1]; s[j - 1] = t }
    return c
}
function median(setup, key,    c) { c = sorted(setup, key); return c ? (c % 2 ? s[(c + 1) / 2] : (s[c / 2] + s[c / 2 + 1]) / 2) : "" }
function least(setup, key) { return sorted(setup, key) ? s[1] : "" }
function num(x) { return x == "" ? "-" : (x >= 1000 ? sprintf("%.0f", x) : sprintf("%.3g", x)) }
function cell(setup, key) { return num(least(setup, key)) " / " num(median(setup, key)) }
function ratio(a, b) { return (a != "" && b != "" && b != 0) ? sprintf("%.2f", a / b) : "-" }
function row(label, key,    q, p, t) {
    q = median("sqlite", key); p = median("postgres", key); t = median("nodes", key)
    printf("| %s | %s | %s | %s | %s | %s |\n", label, cell("sqlite", key), cell("postgres", key), cell("nodes", key),
           ratio(t, q), ratio(t, p))
}
function noderow(label, kind,    k) {
    printf("| %s |", label)
    for (k = 1; k <= 3; k++) printf(" %s |", cell("nodes", kind "_node" k))
    printf(" %s |\n", cell("nodes", kind "_redis"))
}
END {
    print ""
    print "| measurement (min / median over rounds) | SQLite, 1 node | PostgreSQL, 1 node | 3 nodes + Redis | 3 nodes / SQLite | 3 nodes / PostgreSQL |"
    print "|---|---|---|---|---|---|"
    row("saturated routing, msgs/s, " clients " clients", "saturated_msgs_per_s")
    row("copy-back p50 ms at saturation", "saturated_p50_ms")
    row("copy-back p99 ms at saturation", "saturated_p99_ms")
    row("delivery p99 ms at saturation", "saturated_delivery_p99_ms")
    row("copy-back p50 ms at a fixed 5,000 msgs/s", "fixed_rate_p50_ms")
    row("copy-back p99 ms at a fixed 5,000 msgs/s", "fixed_rate_p99_ms")
    row("delivery p99 ms at a fixed 5,000 msgs/s (the line at its recipient)", "fixed_rate_delivery_p99_ms")
    row("server CPU-s per 10,000 msgs at saturation (3 nodes: with Redis)", "saturated_cpu_per_10k")
    row("server CPU-s per 10,000 msgs at 5,000/s (3 nodes: with Redis)", "fixed_rate_cpu_per_10k")
    print ""
    print "| CPU-s per 10,000 msgs of the cluster (min / median) | node 1 | node 2 | node 3 | Redis |"
    print "|---|---|---|---|---|"
    noderow("at saturation", "saturated")
    noderow("at 5,000/s", "fixed_rate")
    print ""
    # On a core of its own a process carries 10,000 / (its CPU-s per 10,000) msgs/s;
    # the busiest node (or Redis) bounds the cluster. At 5,000/s each message
    # costs its own wake-ups and system calls; at saturation they are shared.
    split("fixed_rate saturated", kinds, " ")
    for (i = 1; i <= 2; i++) {
        worst = 0
        for (k = 1; k <= 3; k++) { c = median("nodes", kinds[i] "_node" k); if (c > worst) worst = c }
        r = median("nodes", kinds[i] "_redis")
        one = median("sqlite", kinds[i] "_cpu_per_10k")
        if (worst > 0)
            printf("on a core of its own each, at the cost per message of %s: a node %.0f msgs/s of the cluster, Redis %.0f; one node alone on SQLite %.0f\n",
                   kinds[i], 1e4 / worst, r > 0 ? 1e4 / r : 0, one > 0 ? 1e4 / one : 0)
    }
    split("saturated_p99_ms fixed_rate_p99_ms", keys, " ")
    for (i = 1; i <= 2; i++) {
        t = median("nodes", keys[i]); p = median("postgres", keys[i]); q = median("sqlite", keys[i])
        printf("target %s: 3 nodes / 1 node %s (PostgreSQL), %s (SQLite); at most 2: %s\n", keys[i], ratio(t, p), ratio(t, q),
               (p > 0 && t / p <= 2 && q > 0 && t / q <= 2) ? "met" : "NOT met")
    }
}' "$rounds_file" | tee "$out/table.md"
grep -h "message a partner at another port" "$out"/load-nodes-*.txt | head -n1 | tee -a "$out/table.md"
