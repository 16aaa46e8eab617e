#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in the normal build and once
# under AddressSanitizer and UndefinedBehaviorSanitizer. The registry's tests run against a
# PostgreSQL server of their own, started here and stopped at the end whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

echo "== source layout =="
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

# Assigned first so that a server that does not start stops the run.
pg_env=$(bash scripts/pg-test-server.sh start)
eval "$pg_env"
trap 'bash scripts/pg-test-server.sh stop "$ZEF_TEST_PG_DIR"' EXIT

for preset in dev asan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
