#!/usr/bin/env bash
# Builds zjx and opens it against the local tracking service zjx-service, which it starts in the
# background unless something already answers on the service's port, and stops when zjx ends.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR"

HOST=127.0.0.1
PORT="${ZJX_SERVICE_PORT:-18735}"
service_pid=""
answers() { (exec 3<>"/dev/tcp/$HOST/$PORT") 2>/dev/null; }
if ! answers; then
  mkdir -p "$BUILD_DIR/log"
  "$BUILD_DIR/bin/zjx-service" --host "$HOST" --port "$PORT" >>"$BUILD_DIR/log/zjx-service.log" 2>&1 &
  service_pid=$!
  trap '[ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do answers && break; sleep 0.1; done
  echo "zjx-service started on $HOST:$PORT (log: $BUILD_DIR/log/zjx-service.log)"
fi

: "${ZJX_TRACKING_HOST:=$HOST:$PORT}" "${ZJX_BRANCH_HOST:=$HOST:$PORT}" "${ZJX_SOFTWARE_SITE:=http://$HOST:$PORT}"
export ZJX_TRACKING_HOST ZJX_BRANCH_HOST ZJX_SOFTWARE_SITE
"$BUILD_DIR/bin/zjx" "$@"
