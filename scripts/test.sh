#!/usr/bin/env bash
# Installs what is needed, builds the test build (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer), starts a private PostgreSQL server for the
# tests and runs them all. Exits non-zero on any failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh

# Formatting is checked first but reported last, so a stray blank does not
# hide test results.
format_ok=1
bash scripts/check-format.sh || format_ok=0

build="$root/build-test"
# The benchmarks are built too (not run), so an interface change cannot leave
# them broken unnoticed.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVALIS_SANITIZE=ON -DCORVALIS_TESTS=ON -DCORVALIS_BENCH=ON
cmake --build "$build" -j2

# --- a throwaway PostgreSQL cluster on a private socket --------------------
pg_bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
[ -x "$pg_bin/initdb" ] || { echo "test.sh: PostgreSQL server binaries not found" >&2; exit 1; }
pg_dir="$(mktemp -d /tmp/corvalis-pg-XXXXXX)"
pg_port=54329
as_pg=()
if [ "$(id -u)" -eq 0 ]; then
  # The server refuses to run as root.
  chown postgres "$pg_dir"
  as_pg=(runuser -u postgres --)
fi
pg_user="$(${as_pg[@]+"${as_pg[@]}"} id -un)"

stop_server() {
  ${as_pg[@]+"${as_pg[@]}"} "$pg_bin/pg_ctl" -D "$pg_dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$pg_dir"
}
trap stop_server EXIT

${as_pg[@]+"${as_pg[@]}"} "$pg_bin/initdb" -D "$pg_dir/data" -A trust -U "$pg_user" -E UTF8 --no-locale >/dev/null
${as_pg[@]+"${as_pg[@]}"} "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w \
  -o "-k $pg_dir -c listen_addresses='' -p $pg_port -c fsync=off" start >/dev/null \
  || { cat "$pg_dir/server.log" >&2; exit 1; }

export CORVALIS_PG="host=$pg_dir port=$pg_port dbname=postgres user=$pg_user"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

cd "$build"
ctest --output-on-failure -j2 --timeout 600

if [ "$format_ok" -ne 1 ]; then
  echo "test.sh: tests passed, but some files differ from .clang-format (see above)" >&2
  exit 1
fi
