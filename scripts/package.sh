#!/usr/bin/env bash
# Builds the Debian package zjx_<version>_<arch>.deb in the build folder and checks it with lintian.
# Installs the packaging tools first (dpkg-shlibdeps computes Depends; CPack needs `file` for it).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
tools=(dpkg-dev file lintian appstream desktop-file-utils)
missing=()
for p in "${tools[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" --target zjx zjx-service zjx_runtime_files zjx_compressed_docs
rm -f "$BUILD_DIR"/zjx_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)
desktop-file-validate assets/cn.tansoft.zjx.desktop
appstreamcli validate --no-net "$BUILD_DIR"/assets/cn.tansoft.zjx.metainfo.xml
lintian --info --fail-on error "$BUILD_DIR"/zjx_*.deb
ls "$BUILD_DIR"/zjx_*.deb
