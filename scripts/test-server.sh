#!/usr/bin/env bash
# A throw-away PostgreSQL 15 server for the tests and the benchmark.
#   test-server.sh start DIR [fast]   creates a cluster in DIR, starts it on a Unix socket in DIR and
#                                     a free loopback port, and prints its connection URI
#   test-server.sh stop DIR           stops it and removes DIR
#   test-server.sh halt DIR           stops it at once, as a crash or power cut would, keeping DIR
#   test-server.sh resume DIR         starts a halted server again on the same port
# The server refuses to run as root, so under root it runs as the unprivileged user "postgres"
# (made by Debian's server package). "fast" turns off the flushes to disk (tests only: a crash of
# the machine may lose the cluster, which is thrown away anyway).
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
action="${1:-}"
dir="${2:-}"
[ -n "$action" ] && [ -n "$dir" ] || { echo "用法：test-server.sh start|stop 目录 [fast]" >&2; exit 2; }
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}
case "$action" in
  start)
    [ -x "$bin/initdb" ] || { echo "未安装 PostgreSQL 15 服务器（postgresql-15）。" >&2; exit 1; }
    mkdir -p "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -U exavoro --auth=trust -E UTF8 --locale=C.UTF-8 > "$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    # The administrator (exavoro) comes in without a password, on the socket and on loopback; every
    # other role, as each user of a server bank is, must give its password (SCRAM), so that the
    # tests see the server check the users' passwords and rights as an exam office's server does.
    cat > "$dir/data/pg_hba.conf" <<'HBA'
local all all trust
host all exavoro 127.0.0.1/32 trust
host all all 127.0.0.1/32 scram-sha-256
host all exavoro ::1/128 trust
host all all ::1/128 scram-sha-256
HBA
    options="-k $dir -c listen_addresses=127.0.0.1 -c max_connections=100"
    [ "${3:-}" = "fast" ] && options="$options -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    for port in $(seq 55432 55531); do
      if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
           -o "$options -p $port" start > /dev/null 2>&1; then
        echo "$port" > "$dir/port"
        echo "postgresql://exavoro@127.0.0.1:$port/postgres"
        exit 0
      fi
    done
    cat "$dir/server.log" >&2
    exit 1
    ;;
  halt)
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 60 stop > /dev/null
    ;;
  resume)
    options="-k $dir -c listen_addresses=127.0.0.1 -c max_connections=100 -p $(cat "$dir/port")"
    [ "${3:-}" = "fast" ] && options="$options -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$options" start > /dev/null
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 60 stop > /dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "用法：test-server.sh start|stop 目录 [fast]" >&2
    exit 2
    ;;
esac
