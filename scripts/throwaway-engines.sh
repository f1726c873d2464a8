# Sourced, never run: a throwaway PostgreSQL cluster and Redis server on free
# loopback ports, their files in a folder of the caller's, for the cluster
# demo and the node benchmark. PostgreSQL refuses to run as root, so as root
# its cluster belongs to `postgres`.
#
#   start_postgres DIR   initdb + pg_ctl in DIR; sets pg_store (the --store URL)
#   start_redis DIR      redis-server in DIR, nothing saved; sets redis_bus (the
#                        --bus URL) and redis_pid
#   stop_engines         stops whichever of the two was started

pg_data=""
pg_bin=""
redis_pid=""

source "$(dirname "${BASH_SOURCE[0]}")/ports.sh"

as_postgres_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

start_postgres() {
    local dir=$1 port
    pg_bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n1)
    port=$(free_loopback_port)
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    as_postgres_owner "$pg_bin/initdb" -D "$dir/data" -U vantrel --auth=trust -E UTF8 --locale=C >/dev/null
    pg_data="$dir/data"
    as_postgres_owner "$pg_bin/pg_ctl" -D "$pg_data" -l "$dir/log" -w \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1" start >/dev/null
    pg_store="postgresql://vantrel@127.0.0.1:$port/postgres"
}

start_redis() {
    local dir=$1 port
    port=$(free_loopback_port)
    mkdir -p "$dir"
    redis-server --port "$port" --bind 127.0.0.1 --dir "$dir" --save "" --appendonly no > "$dir/log" 2>&1 &
    redis_pid=$!
    redis_bus="redis://127.0.0.1:$port"
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

stop_engines() {
    if [ -n "$redis_pid" ]; then
        kill "$redis_pid" 2>/dev/null || true
        wait "$redis_pid" 2>/dev/null || true
        redis_pid=""
    fi
    if [ -n "$pg_data" ]; then
        as_postgres_owner "$pg_bin/pg_ctl" -D "$pg_data" -m fast stop >/dev/null 2>&1 || true
        pg_data=""
    fi
}
