#!/usr/bin/env bash
# Builds the unit tests for armhf (Debian's cross compiler and :armhf libraries) and runs them under
# qemu-user. Adds the armhf architecture to apt the first time (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_ARMHF:-build-armhf}"

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
packages=(crossbuild-essential-armhf qemu-user cmake ninja-build pkg-config nlohmann-json3-dev
    libboost-dev:armhf libssl-dev:armhf libhidapi-dev:armhf libusb-1.0-0-dev:armhf
    libspdlog-dev:armhf libfmt-dev:armhf libgtest-dev:armhf libgmock-dev:armhf libpcsclite-dev:armhf)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    dpkg --print-foreign-architectures | grep -qx armhf || "${as_root[@]}" dpkg --add-architecture armhf
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=packaging/armhf-toolchain.cmake \
    -DRFDOCK_BENCH=OFF ${CMAKE_FLAGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)" --target unit_tests
# The unit tests run on the emulated CPU with the armhf libraries; the tests that start programs or
# browsers stay with the native build.
QEMU_LD_PREFIX=/usr/arm-linux-gnueabihf qemu-arm "$build/bin/unit_tests" --gtest_brief=1 "$@"
