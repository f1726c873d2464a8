# Sourced, never run: ports on the loopback for the demos and benchmarks.
#
#   free_loopback_port   a port below the ephemeral range that nothing listens on now
#   port_in_log LOG      waits for the server's "listening on 127.0.0.1:PORT" line
#                        in LOG (up to 20 s) and prints PORT

free_loopback_port() {
    local port
    while :; do
        port=$((10000 + RANDOM % 20000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

port_in_log() {
    local log=$1 port="" _
    for _ in $(seq 200); do
        port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log" 2>/dev/null | head -n1)
        [ -n "$port" ] && { echo "$port"; return 0; }
        sleep 0.1
    done
    return 1
}
