#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing zjx need; quick when all are there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev qt6-translations-l10n libqt6sql6-sqlite
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  fonts-wqy-microhei libcpp-httplib-dev xvfb xauth dbus-daemon openssl ca-certificates
  desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
