#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev libgl-dev
  libgtest-dev
  # The test command checks that every source file is as .clang-format lays it out.
  clang-format
  xvfb xauth imagemagick xdotool fonts-dejavu-core
  locales
  # What the window shows with: metric twins of the fonts it is laid out for, and Qt's own
  # dialogs in Russian.
  fonts-liberation2 qt6-translations-l10n qt6-qpa-plugins
  # Packaging: cpack's Debian generator works out the library dependencies with these.
  dpkg-dev file desktop-file-utils
  # The production registry: Qt's SQLite and PostgreSQL drivers (Qt6::Sql itself comes with
  # qt6-base-dev), and a PostgreSQL server the tests start in a folder of their own.
  libqt6sql6-sqlite libqt6sql6-psql postgresql
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal mark is a comma, so the tests can prove the display ignores it.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  if [ -f /etc/locale.gen ]; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null || true
  fi
fi
