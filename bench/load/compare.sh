#!/usr/bin/env bash
# Measures our server beside an established chat daemon (the peer: inspircd 3
# from Debian with echo-message, flood limits lifted, TCP_NODELAY preloaded)
# and beside the floor (bench/load's single-threaded epoll relay), back to
# back, with the same load generator: 500 clients, each messaging a fixed
# partner. Prints min and median of each figure over the rounds and the
# ratios of the medians to the peer and the floor.
#
#   bench/load/compare.sh [--rounds 8] [--clients 500] [--storm-limit 150]
#                         [--targets "server peer floor"] [--build DIR] [--out DIR]
#   bench/load/compare.sh --idle [--idle-connections 3900]   # 100 clients without, with, without idle users
#
# Each target is started afresh for the logon storm without reconnects, and
# again for the storm with reconnects, after which the routing rounds reuse
# the clients that logged on. The machine is shared and small: figures are
# noisy, which is why there are rounds and why min and median are shown.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build"
rounds=8
clients=500
storm_limit=150
targets="server peer floor"
idle_mode=0
idle_connections=3900
out=""

while (($#)); do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --clients) clients=$2; shift 2 ;;
    --storm-limit) storm_limit=$2; shift 2 ;;
    --targets) targets=$2; shift 2 ;;
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --out) out=$2; shift 2 ;;
    --idle) idle_mode=1; shift ;;
    --idle-connections) idle_connections=$2; shift 2 ;;
    *) sed -n '2,18p' "$0" >&2; exit 2 ;;
    esac
done

say() { printf 'compare: %s\n' "$*" >&2; }

load="$build/bin/vantrel-load"
floor="$build/bin/vantrel-floor"
server_bin="$build/bin/vantrel-server"
nodelay="$build/bench/load/libvantrel_nodelay.so"
for f in "$load" "$floor" "$server_bin" "$nodelay"; do
    [ -e "$f" ] || { say "missing $f: build first (ninja -C $build vantrel-server vantrel-load vantrel-floor vantrel_nodelay)"; exit 1; }
done

if ! command -v inspircd >/dev/null && [[ " $targets " == *" peer "* ]]; then
    say "installing the peer, inspircd, from Debian"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends inspircd
    # Debian starts its own instance on 6667; ours runs on a port of its own.
fi

work=$(mktemp -d /tmp/vantrel-compare.XXXXXX)
[ -n "$out" ] || out="$work"
mkdir -p "$out"
results="$out/results.txt"
: > "$results"
source "$root/bench/load/common.sh"
trap 'stop_server; rm -rf "$work/data" "$work/inspircd"' EXIT

accounts_cache="$build/bench-load-accounts-$clients"
if [[ " $targets " == *" server "* ]]; then
    import_accounts "$server_bin" "$accounts_cache" "$clients" || exit 1
fi

write_inspircd_config() {
    local dir=$1 port=$2
    mkdir -p "$dir"
    : > "$dir/motd.txt"
    cat > "$dir/inspircd.conf" <<CONF
<server name="load.peer" description="load peer" network="LoadNet">
<admin name="load" nick="load" email="load@localhost">
<bind address="127.0.0.1" port="$port" type="clients">
<connect name="load" allow="*" timeout="120" pingfreq="600"
         hardsendq="64M" softsendq="64M" recvq="1M"
         threshold="100000000" commandrate="1000000000" fakelag="no"
         localmax="100000" globalmax="100000" maxconnwarn="no" limit="100000"
         resolvehostnames="no" useident="no" maxchans="20">
<performance somaxconn="4096" softlimit="100000" netbuffersize="65536" clonesonconnect="no" quietbursts="yes">
<pid file="$dir/inspircd.pid">
<files motd="$dir/motd.txt">
<dns server="127.0.0.1" timeout="1">
<log method="file" type="* -USERINPUT -USEROUTPUT" level="default" target="$dir/inspircd.log">
<module name="cap">
<module name="ircv3_echomessage">
CONF
}

# Starts a fresh target; sets pid, port and dialect.
start_target() {
    local target=$1
    stop_server
    case "$target" in
    server)
        rm -rf "$work/data"
        cp -a "$accounts_cache" "$work/data"
        launch_server "$server_bin" "$out/server.log" --data "$work/data" --port 0 || exit 1
        dialect=vantrel
        ;;
    peer)
        # A port taken between the choice and the bind: another one.
        for _ in 1 2 3 4 5; do
            port=$(free_loopback_port)
            rm -rf "$work/inspircd"
            write_inspircd_config "$work/inspircd" "$port"
            runasroot=""
            [ "$(id -u)" -ne 0 ] || runasroot="--runasroot"
            LD_PRELOAD="$nodelay" inspircd --nofork $runasroot --config="$work/inspircd/inspircd.conf" \
                > "$out/peer.log" 2>&1 &
            pid=$!
            for _ in $(seq 100); do
                grep -q 'now running' "$out/peer.log" && break
                sleep 0.1
            done
            grep -q 'failed to bind' "$out/peer.log" || break
            stop_server
        done
        ss -ltn "sport = :$port" | grep -q LISTEN || { say "the peer did not start; see $out/peer.log"; exit 1; }
        dialect=irc
        ;;
    floor)
        launch_server "$floor" "$out/floor.log" --port 0 || exit 1
        dialect=vantrel
        ;;
    esac
}

# run_load TARGET PHASE ARGS...: one load run; its RESULT lines go to the results, tagged.
run_load() {
    local target=$1 phase=$2
    shift 2
    say "$target: $phase"
    "$load" --port "$port" --dialect "$dialect" --server-pid "$pid" "$@" | tee "$out/$target-$phase.txt" >&2 ||
        say "$target: $phase did not finish; its figures are left out"
    sed -n "s/^RESULT /$target /p" "$out/$target-$phase.txt" >> "$results"
}

say "results and logs in $out"
[[ " $targets " != *" server "* ]] ||
    say "note: every logon of our server is a password check at the real hash cost; the storms take as long
     as the server's password checks, which is what they measure"
for target in $targets; do
    if ((idle_mode)); then
        start_target "$target"
        run_load "$target" idle --clients 100 --logon paced --idle "$idle_connections" \
            --idle-users $((clients - 100)) --rounds "$rounds"
    else
        start_target "$target"
        run_load "$target" storm --clients "$clients" --logon storm --logon-limit "$storm_limit" --rounds 0
        start_target "$target"
        run_load "$target" routing --clients "$clients" --logon storm-reconnect --logon-limit "$storm_limit" \
            --rounds "$rounds"
    fi
    stop_server
done

# The table: min / median per target, and the ratios of the medians.
awk -v targets="$targets" -v idle="$idle_mode" -v clients="$clients" -v rounds="$rounds" \
    -v idlecount="$idle_connections" '
{ min[$1, $2] = $3; med[$1, $2] = $4; seen[$1, $2] = 1 }
function num(v) { return v >= 1000 ? sprintf("%.0f", v) : sprintf("%.3g", v) }
function cell(t, k) { return seen[t, k] ? num(min[t, k]) " / " num(med[t, k]) : "-" }
function ratio(a, b, k) {
    return (seen[a, k] && seen[b, k] && med[b, k] != 0) ? sprintf("%.2f", med[a, k] / med[b, k]) : "-"
}
function row(label, k) {
    line = sprintf("| %s |", label)
    for (i = 1; i <= n; i++) line = line " " cell(t[i], k) " |"
    if (has["server"] && has["peer"]) line = line " " ratio("server", "peer", k) " |"
    if (has["server"] && has["floor"]) line = line " " ratio("server", "floor", k) " |"
    print line
}
END {
    n = split(targets, t, " ")
    for (i = 1; i <= n; i++) has[t[i]] = 1
    head = "| measurement (min / median) |"; rule = "|---|"
    for (i = 1; i <= n; i++) { head = head " " t[i] " |"; rule = rule "---|" }
    if (has["server"] && has["peer"]) { head = head " server/peer |"; rule = rule "---|" }
    if (has["server"] && has["floor"]) { head = head " server/floor |"; rule = rule "---|" }
    print ""
    print head; print rule
    if (idle) {
        row("CPU-s per 10,000 msgs at 5,000/s, 100 clients", "fixed_rate_cpu_per_10k")
        row("the same with " idlecount " idle users logged on beside them", "fixed_rate_idle_cpu_per_10k")
        row("copy-back p99 ms, 100 clients", "fixed_rate_p99_ms")
        row("copy-back p99 ms, with the idle connections", "fixed_rate_idle_p99_ms")
        print ""
        for (i = 1; i <= n; i++) {
            k1 = "fixed_rate_cpu_per_10k"; k2 = "fixed_rate_idle_cpu_per_10k"
            if (seen[t[i], k1] && seen[t[i], k2] && med[t[i], k1] > 0)
                printf("%s: CPU per message with the idle connections / without: %.2f (medians)\n",
                       t[i], med[t[i], k2] / med[t[i], k1])
        }
        exit
    }
    row("saturated routing, msgs/s (" rounds " rounds)", "saturated_msgs_per_s")
    row("copy-back p50 ms at saturation", "saturated_p50_ms")
    row("copy-back p99 ms at saturation", "saturated_p99_ms")
    row("delivery p99 ms at saturation", "saturated_delivery_p99_ms")
    row("server CPU-s per 10,000 msgs at saturation", "saturated_cpu_per_10k")
    row("copy-back p99 ms at a fixed 5,000 msgs/s", "fixed_rate_p99_ms")
    row("delivery p99 ms at a fixed 5,000 msgs/s (the line at its recipient)", "fixed_rate_delivery_p99_ms")
    row("server CPU-s per 10,000 msgs at 5,000/s", "fixed_rate_cpu_per_10k")
    row("RSS MB with " clients " users logged on", "rss_logged_on_mb")
    row("peak RSS MB (logons included)", "rss_peak_mb")
    row("storm, no reconnect: logged on", "storm_once_logged_on")
    row("storm, no reconnect: cut off before the answer", "storm_once_cut_off")
    row("storm, no reconnect: server busy after, s", "storm_once_busy_after_s")
    row("storm with reconnect: s until all logged on", "storm_reconnect_all_on_s")
    row("storm with reconnect: logged on within the limit", "storm_reconnect_logged_on")
    row("storm with reconnect: connection attempts", "storm_reconnect_attempts")
    row("storm with reconnect: cut off before the answer", "storm_reconnect_cut_off")
    row("storm with reconnect: server CPU-s", "storm_reconnect_server_cpu_s")
    row("storm with reconnect: all on, over server CPU-s per core", "storm_reconnect_all_on_vs_cpu")
    row("storm with reconnect: cores the server got, on average", "storm_reconnect_server_cores")
    row("storm with reconnect: server busy after, s", "storm_reconnect_busy_after_s")
}' "$results" | tee "$out/table.md"
