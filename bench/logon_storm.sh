#!/usr/bin/env bash
# A logon storm at the real hash cost. Each round starts the server afresh
# (a restart: nothing is remembered) and lets N clients of vantrel-load
# connect at once, reconnecting 200 ms after any cut-off; then N new clients
# log on to the same server as the same users (a network blip); then, with N
# users logged on and messaging a little, the server is killed and started
# again on the same data and port while all N reconnect at once (a restart of
# a busy server: the verified-logon cache lives in memory and is empty again;
# timed from the restart). Prints the time until all are logged on against
# the bound, the time the N password checks take on all cores plus 20%, then
# min and median over the rounds, and the server's CPU time against that of
# the checks (what a machine shared with other work still shows fairly).
#
# The checks' time on all cores is measured as they run in a storm: batches of
# `cores` checks at once on `cores` threads, N / cores batches of the median
# batch's wall time. A check measured alone is cheaper than one beside
# another (each sweeps 64 MiB, and they share the memory bandwidth and the
# cache), so N x one check alone / cores understates what all cores need; it
# is still printed, as "bound from one check alone", for comparison.
#
#   bench/logon_storm.sh [--build DIR] [--rounds 3] [--clients 500] [--limit 150]
#
# The accounts are imported once per build by that build's server, so they
# carry its hash cost (bench/load/common.sh). Needs: ninja -C DIR vantrel-server vantrel-load logon_check_cost
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
rounds=3
clients=500
limit=150
while (($#)); do
    case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    *) sed -n '2,24p' "$0" >&2; exit 2 ;;
    esac
done

say() { printf 'logon_storm: %s\n' "$*" >&2; }
server_bin="$build/bin/vantrel-server"
load="$build/bin/vantrel-load"
cost_bin="$build/bin/logon_check_cost"
for f in "$server_bin" "$load" "$cost_bin"; do
    [ -x "$f" ] || { say "missing $f: ninja -C $build vantrel-server vantrel-load logon_check_cost"; exit 1; }
done

work=$(mktemp -d /tmp/vantrel-storm.XXXXXX)
source "$root/bench/load/common.sh"
trap 'stop_server; rm -rf "$work"' EXIT

# The same account cache as bench/load/compare.sh.
accounts="$build/bench-load-accounts-$clients"
import_accounts "$server_bin" "$accounts" "$clients" || exit 1

cores=$(nproc)
"$cost_bin" "$accounts" L0 pw0 15 "$cores" > "$work/cost.txt"
cost=$(awk '/^RESULT check_cost_s/ {print $4}' "$work/cost.txt")
batch=$(awk '/^RESULT batch_wall_s/ {print $4}' "$work/cost.txt")
bound=$(awk -v n="$clients" -v b="$batch" -v k="$cores" 'BEGIN {printf "%.3f", n / k * b * 1.2}')
bound_alone=$(awk -v n="$clients" -v c="$cost" -v k="$cores" 'BEGIN {printf "%.3f", n * c / k * 1.2}')
say "hash $(head -n1 "$work/cost.txt"); one check alone $(awk '/^RESULT check_cost_s/ {printf "min %.1f ms, median %.1f ms", $3*1000, $4*1000}' "$work/cost.txt") of CPU"
say "$cores checks at once on $cores threads: $(awk '/^RESULT batch_wall_s/ {printf "min %.1f ms, median %.1f ms", $3*1000, $4*1000}' "$work/cost.txt") per batch"
say "bound for $clients logons on $cores cores: $clients / $cores x $batch s x 1.2 = $bound s (from one check alone: $bound_alone s)"

# start_server [fresh|same]: "same" keeps the data folder and the port of the
# server before it (a restart).
start_server() {
    local listen_port=0
    if [ "${1:-fresh}" = same ]; then
        listen_port=$port
    else
        rm -rf "$work/data" && cp -r "$accounts" "$work/data"
    fi
    launch_server "$server_bin" "$work/server.log" --data "$work/data" --listen 127.0.0.1 --port "$listen_port" ||
        { cat "$work/server.log" >&2; exit 1; }
}

# The server is killed while N users are logged on and sending a few messages
# a second, and started again on the same data and port at once; the N
# reconnect together (those that come before it listens try again 200 ms
# later), timed from the restart.
restart_with_users() {
    "$load" --port "$port" --clients "$clients" --logon storm-reconnect --logon-limit "$limit" \
        --rounds 1 --warmup 0 --saturate-seconds 0.5 --rate 50 --rate-seconds 100000 > "$work/holding.out" 2>&1 &
    local holder=$!
    for _ in $(seq $((limit * 10))); do
        grep -q '^round 1 saturated' "$work/holding.out" && break
        kill -0 "$holder" 2>/dev/null || break
        sleep 0.1
    done
    grep -q "^storm_reconnect: all $clients logged on" "$work/holding.out" ||
        { say "the $clients users did not all log on before the restart"; cat "$work/holding.out" >&2; exit 1; }
    sleep 2
    kill -9 "$pid"
    wait "$pid" 2>/dev/null || true
    pid=""
    kill "$holder" 2>/dev/null || true
    wait "$holder" 2>/dev/null || true
    local t0 t1
    t0=$(date +%s.%N)
    start_server same
    t1=$(date +%s.%N)
    startup_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b - a}')
    say "restarted on port $port in $startup_s s"
}

# One storm; appends "KIND all_on_s logged_on attempts cut_off server_cpu_s busy_after_s" to results.
storm() {
    local kind=$1 offset=${2:-0}
    "$load" --port "$port" --server-pid "$pid" --clients "$clients" --logon storm-reconnect \
        --logon-limit "$limit" --rounds 0 > "$work/$kind.out"
    grep -E '^storm_reconnect' "$work/$kind.out" | sed "s/^storm_reconnect/$kind/" >&2
    awk -v kind="$kind" -v offset="$offset" '/^RESULT storm_reconnect_/ {sub("RESULT storm_reconnect_", ""); v[$1] = $3}
        END {printf "%s %s %s %s %s %s %s\n", kind, ("all_on_s" in v) ? v["all_on_s"] + offset : "nan", v["logged_on"],
             v["attempts"], v["cut_off"], v["server_cpu_s"], v["busy_after_s"]}' "$work/$kind.out" >> "$work/results"
}

: > "$work/results"
for ((round = 1; round <= rounds; round++)); do
    say "round $round"
    start_server
    storm restart
    storm blip
    restart_with_users
    storm restart_busy "$startup_s"
    stop_server
done

echo "logon storm, $clients clients, $cores cores; bound (checks / cores x one batch of $cores at once) x 1.2 = $bound s (batch ${batch} s); from one check alone (${cost} s) it would be $bound_alone s"
for kind in restart blip restart_busy; do
    awk -v kind="$kind" -v bound="$bound" -v alone="$bound_alone" -v checks="$(awk -v n="$clients" -v c="$cost" 'BEGIN {print n * c}')" '$1 == kind {n++; on[n] = $3; att[n] = $4; cut[n] = $5; cpu[n] = $6
            if ($2 != "nan") t[++done] = $2}
        function median(a, n,   i, j, x, s) { for (i = 1; i <= n; i++) s[i] = a[i]
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (s[j] < s[i]) { x = s[i]; s[i] = s[j]; s[j] = x }
            return n % 2 ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2 }
        END { printf "%-8s all on in %d of %d rounds", kind, done, n
              if (done) printf ": min %.2f s, median %.2f s (median / bound %.2f; / bound from one check alone %.2f)",
                  least(t, done), median(t, done), median(t, done) / bound, median(t, done) / alone
              printf "; logged on median %d; attempts median %d; cut off median %d; server CPU median %.1f s (%.2f x the checks)\n",
                  median(on, n), median(att, n), median(cut, n), median(cpu, n), median(cpu, n) / checks }
        function least(a, n,   i, m) { m = a[1]; for (i = 2; i <= n; i++) if (a[i] < m) m = a[i]; return m }' "$work/results"
done
