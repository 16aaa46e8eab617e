#!/usr/bin/env bash
# Installs what is missing, builds, and opens the service program on the built-in simulated
# controller (behind "Connect to COM1"). Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev

exec build/dev/src/app/zef-service --simulator "$@"
