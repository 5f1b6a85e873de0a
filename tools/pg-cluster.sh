#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests and the benchmarks: initdb into DIR, the server
# listening only on a Unix socket in DIR (no TCP port), trust authentication for the cluster's
# own superuser. Run as root, the server runs as the system user postgres (it refuses root).
#
#   tools/pg-cluster.sh start DIR [--fast]   starts it (a cluster left in DIR is removed first)
#                                            and prints its connection URI; --fast turns off
#                                            fsync and synchronous commit (tests only)
#   tools/pg-cluster.sh stop DIR             stops it and removes DIR
#   tools/pg-cluster.sh uri DIR              prints the connection URI of a running cluster
set -euo pipefail

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|uri DIR [--fast]" >&2; exit 2; }
case $dir in /*) ;; *) dir=$PWD/$dir ;; esac

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bindir/initdb" ] || { echo "PostgreSQL server programs not found (package postgresql)" >&2; exit 1; }

owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop() {
  if [ -f "$dir/data/postmaster.pid" ]; then
    owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

uri() {
  echo "postgresql:///postgres?host=$dir&user=postgres"
}

case $cmd in
start)
  stop
  mkdir -p "$dir"
  [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
  chmod 700 "$dir"
  owner "$bindir/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 \
    --no-sync --no-instructions >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; exit 1; }
  opts="-c listen_addresses='' -c unix_socket_directories='$dir' -c max_connections=60"
  if [ "${3:-}" = "--fast" ]; then
    opts+=" -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
  fi
  owner "$bindir/pg_ctl" -D "$dir/data" -o "$opts" -l "$dir/server.log" -w -t 60 start >/dev/null \
    || { cat "$dir/server.log" >&2; exit 1; }
  uri
  ;;
stop) stop ;;
uri) uri ;;
*) echo "usage: $0 start|stop|uri DIR [--fast]" >&2; exit 2 ;;
esac
