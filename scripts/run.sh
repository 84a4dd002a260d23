#!/usr/bin/env bash
# Sets up and runs the kit's main job on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
vectors=${TESSEL_VECTORS:-../shared/vectors/cryptoapi-kat.json}
echo "Checking the token library against $vectors"
exec ./build/bin/tessel-kat "$vectors"
