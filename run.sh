#!/usr/bin/env bash
# Builds zjx and its service and opens it. The program starts its own zjx-service from the build
# folder, as an installed one does; with ZJX_TRACKING_HOST set it uses that service instead.
# Only the program and the service are built: a new build folder leaves the tests and the
# benchmarks out (test.sh turns the tests on in the same folder).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZJX_BUILD_TESTS=OFF -DZJX_BUILD_BENCH=OFF \
    -DZJX_BUILD_SERVICE=ON >/dev/null
fi
cmake --build "$BUILD_DIR" --target zjx zjx-service
exec "$BUILD_DIR/bin/zjx" "$@"
