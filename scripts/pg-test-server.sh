#!/usr/bin/env bash
# A throw-away PostgreSQL server for the registry's tests, in a folder of its own, reachable only
# from this machine on 127.0.0.1 at a free port.
#
#   eval "$(scripts/pg-test-server.sh start [DIR])"   starts it; prints ZEF_TEST_PG_URL and
#                                                     ZEF_TEST_PG_DIR as export lines and writes
#                                                     them to DIR/env as well
#   scripts/pg-test-server.sh halt [DIR]              stops it, keeping its data (a lost server)
#   scripts/pg-test-server.sh resume [DIR]            starts it again on the same port
#   scripts/pg-test-server.sh stop [DIR]              stops it and removes the folder
#
# DIR defaults to $ZEF_TEST_PG_DIR. PostgreSQL refuses to run as root, and CI runs as root: the
# server then runs under the account "postgres" (or "nobody"), which owns the folder.
set -euo pipefail

PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
DB_USER=zef
DB_NAME=zef_test

die() {
  echo "pg-test-server: $*" >&2
  exit 1
}

account() {
  if [ "$(id -u)" -ne 0 ]; then
    id -un
  elif id postgres >/dev/null 2>&1; then
    echo postgres
  else
    echo nobody
  fi
}

# Runs a command as the server's account.
as_account() {
  local who=$1
  shift
  if [ "$who" = "$(id -un)" ]; then
    "$@"
  else
    runuser -u "$who" -- "$@"
  fi
}

state_dir() {
  local dir=${1:-${ZEF_TEST_PG_DIR:-}}
  [ -n "$dir" ] || die "no folder given and ZEF_TEST_PG_DIR is not set"
  [ -f "$dir/env" ] || die "$dir holds no test server"
  echo "$dir"
}

start_on() {
  local dir=$1 who=$2 port=$3
  as_account "$who" "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-p $port -c listen_addresses=127.0.0.1 -k $dir" start >/dev/null 2>&1
}

cmd_start() {
  [ -x "$PG_BIN/initdb" ] || die "$PG_BIN/initdb not found: install postgresql (scripts/install-deps.sh)"
  local dir=${1:-}
  if [ -z "$dir" ]; then
    dir=$(mktemp -d "${TMPDIR:-/tmp}/zef-pg.XXXXXX")
  else
    mkdir -p "$dir"
  fi
  local who
  who=$(account)
  chown "$who" "$dir" 2>/dev/null || true
  chmod 700 "$dir"
  as_account "$who" "$PG_BIN/initdb" -D "$dir/data" -U "$DB_USER" -A trust -E UTF8 \
    --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1 ||
    die "initdb failed, see $dir/initdb.log"

  # A port taken between choosing and binding just makes the start fail; try another.
  local port="" tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    local candidate=$((20000 + RANDOM % 40000))
    if start_on "$dir" "$who" "$candidate"; then
      port=$candidate
      break
    fi
  done
  [ -n "$port" ] || die "no free port found, see $dir/server.log"

  as_account "$who" "$PG_BIN/psql" -h 127.0.0.1 -p "$port" -U "$DB_USER" -d postgres -qAt \
    -c "CREATE DATABASE $DB_NAME" >/dev/null ||
    die "could not create the database, see $dir/server.log"

  local url="postgresql://$DB_USER@127.0.0.1:$port/$DB_NAME"
  cat >"$dir/env" <<EOF
export ZEF_TEST_PG_URL=$url
export ZEF_TEST_PG_DIR=$dir
EOF
  echo "$who" >"$dir/account"
  echo "$port" >"$dir/port"
  cat "$dir/env"
}

cmd_halt() {
  local dir
  dir=$(state_dir "${1:-}")
  as_account "$(cat "$dir/account")" "$PG_BIN/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
}

cmd_resume() {
  local dir
  dir=$(state_dir "${1:-}")
  start_on "$dir" "$(cat "$dir/account")" "$(cat "$dir/port")" ||
    die "could not start again on port $(cat "$dir/port"), see $dir/server.log"
}

cmd_stop() {
  local dir
  dir=$(state_dir "${1:-}")
  as_account "$(cat "$dir/account")" "$PG_BIN/pg_ctl" -D "$dir/data" -m immediate -w stop \
    >/dev/null 2>&1 || true
  rm -rf "$dir"
}

case "${1:-}" in
  start) cmd_start "${2:-}" ;;
  halt) cmd_halt "${2:-}" ;;
  resume) cmd_resume "${2:-}" ;;
  stop) cmd_stop "${2:-}" ;;
  *) die "usage: $0 start|halt|resume|stop [DIR]" ;;
esac
