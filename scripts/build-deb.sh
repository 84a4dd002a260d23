#!/usr/bin/env bash
# Builds the Debian package tessel-kit_VERSION_ARCH.deb in ${TESSEL_DEB_BUILD_DIR:-build-deb}: the kit
# compiled with the flags Debian builds its packages with (dpkg-buildflags, every hardening feature on),
# packed by cpack, then checked by lintian when it is installed (no error, no warning).
#
#   ./scripts/build-deb.sh [-DTESSEL_MAINTAINER="Name <address>" ...]
#
# Extra arguments go to the configure step. Then: sudo apt install ./build-deb/tessel-kit_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TESSEL_DEB_BUILD_DIR:-build-deb}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_DEB_HARDENING=ON \
  -DTESSEL_BENCHMARKS=OFF "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tessel-kit_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/tessel-kit_*.deb)
echo "build-deb: $deb"
if command -v lintian >/dev/null; then
  lintian --info --fail-on none --tag-display-limit 0 "$deb" >"$build/lintian.txt" 2>&1
  if grep -E '^[EW]: ' "$build/lintian.txt"; then
    echo "build-deb: lintian reports errors or warnings (above; all it says is in $build/lintian.txt)" >&2
    exit 1
  fi
  echo "build-deb: lintian reports no error and no warning"
fi
