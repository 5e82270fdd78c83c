#!/bin/bash
# Starts or stops the throwaway PostgreSQL cluster the server-database tests share.
# usage: postgres.sh start|stop STATE_DIR
set -euo pipefail
action=$1
state=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
case "$action" in
start)
    rm -rf "$state"
    mkdir -p "$state"
    chown postgres "$state" 2>/dev/null || true
    as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
    echo secret >"$state/pwfile"
    chown postgres "$state/pwfile" 2>/dev/null || true
    as_pg "$bin/initdb" -D "$state/data" -U postgres --auth=md5 --pwfile="$state/pwfile" >"$state/initdb.log"
    port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    as_pg "$bin/pg_ctl" -D "$state/data" -l "$state/server.log" -w \
        -o "-p $port -c listen_addresses=127.0.0.1 -c unix_socket_directories=$state -c fsync=off" start >/dev/null
    echo "$port" >"$state/port"
    ;;
stop)
    if [ -f "$state/data/postmaster.pid" ]; then
        if [ "$(id -u)" = 0 ]; then
            runuser -u postgres -- "$bin/pg_ctl" -D "$state/data" -m immediate stop >/dev/null
        else
            "$bin/pg_ctl" -D "$state/data" -m immediate stop >/dev/null
        fi
    fi
    ;;
esac
