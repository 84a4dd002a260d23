#!/usr/bin/env bash
# Installs the Debian 12 packages the kit needs to build, run and test.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  libssl-dev zlib1g-dev libxml2-dev libcurl4-openssl-dev libcpp-httplib-dev libmicrohttpd-dev
  nlohmann-json3-dev qt6-base-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  libplplot-dev plplot-driver-cairo
  fonts-dejavu-core fonts-liberation2 xvfb xauth
  clang libclang-rt-14-dev llvm
  python3 python3-pytest python3-locust
  lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is already installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
