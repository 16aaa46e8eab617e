#!/usr/bin/env bash
# Installs what is missing, builds, and opens the service program on the built-in simulated
# controller (behind "Connect to COM1"). Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

if [ -x build/release/src/app/zef-service ]; then
  exec build/release/src/app/zef-service --simulator "$@"
fi
# Until the window exists: serve the simulated controller on a pseudo-terminal.
echo "zef-service is not built yet; serving the simulated controller instead (Ctrl-C ends):"
exec build/release/src/sim/zef-sim --line-timing "$@"
