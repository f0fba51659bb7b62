#!/usr/bin/env bash
# Builds zjx and runs every test headless. In CI (CI=true) the compiler's warnings are errors.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
werror=OFF
[ "${CI:-}" = true ] && werror=ON
# The service and its tests are always part of the run.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZJX_BUILD_TESTS=ON -DZJX_BUILD_SERVICE=ON \
  -DZJX_WERROR="$werror"
cmake --build "$BUILD_DIR"
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
