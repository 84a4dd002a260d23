#!/usr/bin/env bash
# Sets up, builds and runs the kit's main job: the local TesselService on
# http://127.0.0.1:8080/ (Ctrl-C stops it).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
echo "Service descriptions: http://127.0.0.1:8080/TesselService/TesselServiceCore.xml (user tester, password tester)"
exec ./build/bin/TesselServiceLocal --port "${TESSEL_PORT:-8080}"
