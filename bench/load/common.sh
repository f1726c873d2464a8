# Shell pieces shared by the benchmark scripts (compare.sh, compare-tls.sh,
# logon_storm.sh and any script that runs our server under load). Sourced,
# never run. The function names are what other scripts call: keep them.
#
#   stop_server                      ends the process in $pid, if any, and empties pid
#   stop_process PID                 ends one process and reaps it
#   import_accounts BIN CACHE N      the N accounts L0..L(N-1) (password pwI) in CACHE
#   port_in_log LOG, free_loopback_port   from scripts/ports.sh
#   launch_server BIN LOG ARGS...    starts BIN ARGS... with stderr to LOG; sets pid and port
#   routing_figures TAG FILE         the routing round lines of a load run, as "TAG KEY VALUE" lines
#
# A script sets its own EXIT trap (it knows what else to clean up), e.g.
#   trap 'stop_server; rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/ports.sh"

pid=""

stop_process() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

stop_server() {
    stop_process "$pid"
    pid=""
}

# Importing hashes every password at the server's real cost, so the folder is
# made once per build of the server (a build may change the cost) and scripts
# copy it for every start. Made aside and moved into place, so that a cut-off
# import never leaves a half-filled cache behind.
import_accounts() {
    local bin=$1 cache=$2 n=$3 i
    if [ -e "$cache/im.db" ] && ! [ "$bin" -nt "$cache/im.db" ]; then
        return 0
    fi
    printf 'bench: importing %d accounts at the real hash cost into %s (once per build; it takes a while)\n' \
        "$n" "$cache" >&2
    rm -rf "$cache.tmp"
    mkdir -p "$cache.tmp"
    for ((i = 0; i < n; i++)); do
        printf 'L%d\t0\tpw%d\tUser %d\t\tDept %d\n' "$i" "$i" "$i" $((i % 10))
    done > "$cache.tmp/accounts.tsv"
    "$bin" --data "$cache.tmp" import-accounts "$cache.tmp/accounts.tsv" 2> "$cache.tmp/import.log" ||
        { cat "$cache.tmp/import.log" >&2; return 1; }
    rm -f "$cache.tmp/accounts.tsv" "$cache.tmp/import.log"
    rm -rf "$cache"
    mv "$cache.tmp" "$cache"
}

launch_server() {
    local bin=$1 log=$2
    shift 2
    # Emptied here, not by the child's redirection, which may come after the
    # first look for the port and so find the last server's.
    : > "$log"
    "$bin" "$@" 2>> "$log" &
    pid=$!
    port=$(port_in_log "$log") || { printf 'bench: the server did not start; see %s\n' "$log" >&2; return 1; }
}

# What the load generator's routing round lines say, one "TAG KEY VALUE" line
# each: msgs/s, copy-back p50 and p99, delivery p99, and server CPU-s per
# 10,000 messages, for the saturated and the fixed-rate rounds.
routing_figures() {
    local tag=$1 file=$2
    sed -n "s/^round [0-9]* \(saturated\|fixed_rate\): .* = \([0-9.]*\) msgs\/s; copy back p50 \([0-9.]*\) ms, p99 \([0-9.]*\) ms; delivery p50 [0-9.]* ms, p99 \([0-9.]*\) ms.*/$tag \1_msgs_per_s \2\n$tag \1_p50_ms \3\n$tag \1_p99_ms \4\n$tag \1_delivery_p99_ms \5/p" \
        "$file"
    sed -n "s/^round [0-9]* \(saturated\|fixed_rate\): .* = \([0-9.]*\) per 10,000$/$tag \1_cpu_per_10k \2/p" "$file"
}
