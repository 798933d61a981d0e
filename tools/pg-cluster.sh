#!/usr/bin/env bash
# A private PostgreSQL cluster for the ledger's tests: start|stop|env.
# It lives in build/pg (or PYRO_PG_DIR), listens on 127.0.0.1 on a free port
# with its socket in a folder of its own, and runs as the unprivileged
# `postgres` user when started as root (PostgreSQL refuses root). Starting a
# running cluster or stopping a stopped one does nothing. `env` prints the
# variables the tests read: PYRO_PG_PORT and PYRO_LEDGER_CONNECTION.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${PYRO_PG_DIR:-$root/build/pg}
bin=${PYRO_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)}
[ -x "$bin/initdb" ] || { echo "pg-cluster: no PostgreSQL binaries (install postgresql)" >&2; exit 3; }
user=postgres
db=pyro_ledger

# The server must not inherit the lock's descriptor: it would hold the lock for its life.
as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u "$user" -- "$@" 9>&-; else "$@" 9>&-; fi
}

# When the server's user cannot reach build/, the cluster lives in a folder of
# its own under /tmp and build/pg only points there.
data_dir() {
  if [ -L "$dir" ] || [ -f "$dir/where" ]; then cat "$dir/where"; else echo "$dir/data"; fi
}

free_port() {
  python3 - <<'PY'
import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
PY
}

running() {
  local data; data=$(data_dir)
  [ -f "$data/postmaster.pid" ] && as_server "$bin/pg_ctl" -D "$data" status >/dev/null 2>&1
}

start() {
  mkdir -p "$dir"
  if running; then return 0; fi
  local data
  if [ ! -f "$dir/where" ]; then
    data="$dir/data"
    if [ "$(id -u)" = 0 ] && ! runuser -u "$user" -- test -x "$dir"; then
      local home; home=$(mktemp -d /tmp/pyro-pg.XXXXXX)
      chown "$user" "$home"
      data="$home/data"
    fi
    echo "$data" >"$dir/where"
  fi
  data=$(data_dir)
  local base; base=$(dirname "$data")
  if [ ! -f "$data/PG_VERSION" ]; then
    rm -rf "$data"
    mkdir -p "$data" "$base/run"
    [ "$(id -u)" = 0 ] && chown -R "$user" "$data" "$base/run"
    chmod 700 "$data"
    as_server "$bin/initdb" -D "$data" -U "$user" -A trust -E UTF8 --locale=C.UTF-8 >"$base/run/initdb.log" 2>&1 ||
      { cat "$base/run/initdb.log" >&2; exit 1; }
  fi
  # A restarted cluster keeps its port: a connection string stays right.
  local port; port=$(cat "$dir/port" 2>/dev/null || free_port)
  echo "$port" >"$dir/port"
  as_server "$bin/pg_ctl" -D "$data" -w -t 30 -l "$base/run/server.log" \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $base/run -c fsync=off" start >/dev/null ||
    { tail -20 "$base/run/server.log" >&2; exit 1; }
  as_server "$bin/psql" -h 127.0.0.1 -p "$port" -U "$user" -d postgres -qtAc \
    "select 1 from pg_database where datname = '$db'" | grep -q 1 ||
    as_server "$bin/createdb" -h 127.0.0.1 -p "$port" -U "$user" "$db"
}

stop() {
  [ -f "$dir/where" ] || return 0
  if running; then as_server "$bin/pg_ctl" -D "$(data_dir)" -m fast -w stop >/dev/null; fi
}

mkdir -p "$dir"
# Test processes start it in parallel: one at a time.
exec 9>"$dir/lock"
flock 9
case "${1:-}" in
  start) start ;;
  stop) stop ;;
  env)
    running || { echo "pg-cluster: not running" >&2; exit 1; }
    port=$(cat "$dir/port")
    echo "PYRO_PG_PORT=$port"
    echo "PYRO_LEDGER_CONNECTION='Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=$db;Uid=$user;Pwd=unused'"
    ;;
  *) echo "usage: $0 start|stop|env" >&2; exit 2 ;;
esac
