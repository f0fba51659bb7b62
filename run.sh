#!/usr/bin/env bash
# Builds zjx and opens it. The program starts its own zjx-service from the build folder, as an
# installed one does; with ZJX_TRACKING_HOST set it uses that service instead.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR"
exec "$BUILD_DIR/bin/zjx" "$@"
