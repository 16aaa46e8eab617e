#!/usr/bin/env bash
# Builds and takes the screenshots of every page and dialog on an X server of its own, with the
# fonts the install script installs. Pictures go to docs/screenshots/ unless a folder is given.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target zef-screenshots
out="${1:-docs/screenshots}"
unset QT_QPA_PLATFORM
# A fitter's desktop: Qt's file dialog gives sizes and dates in the system's language.
export LANG=ru_RU.UTF-8
xvfb-run -a -s "-screen 0 1024x768x24" build/dev/tools/zef-screenshots "$out"
