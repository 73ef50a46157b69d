#!/usr/bin/env bash
# Installs the Debian packages the build, the service and the tests need.
# Packages already present are skipped, so running it again costs nothing.
set -euo pipefail

# What building and running the service needs; `setup.sh test` adds the test tools, `setup.sh package`
# the tools that build and check the Debian package.
what="${1:-run}"
packages=(
    build-essential cmake ninja-build pkg-config
    libboost-dev nlohmann-json3-dev libssl-dev openssl
    libhidapi-dev libusb-1.0-0-dev libspdlog-dev libfmt-dev
    libpcsclite-dev
)
package_tools=(dpkg-dev lintian desktop-file-utils systemd udev man-db)
case "$what" in
    run) ;;
    package) packages+=("${package_tools[@]}") ;;
    test)
        packages+=(libgtest-dev libgmock-dev libbenchmark-dev socat curl chromium "${package_tools[@]}")
        # PC/SC readers are tested against pcscd with the virtual reader driver and virtual cards.
        packages+=(pcscd vsmartcard-vpcd vsmartcard-vpicc python3-virtualsmartcard python3-pycryptodome)
        # The JavaScript client's tests need Node.js 18 or later with npm; keep one that is already there.
        command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
        ;;
    *) echo "usage: setup.sh [run|test|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
install_js_test_modules() {
    # The test modules are pinned by tests/js/package-lock.json; fetched once.
    local dir
    dir="$(dirname "$0")/../tests/js"
    # The lock file's copy in node_modules says which lock the modules were installed from.
    cmp -s "$dir/package-lock.json" "$dir/node_modules/.installed-lock" && return 0
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error && cp package-lock.json node_modules/.installed-lock)
}

js_modules() {
    if [ "$what" = test ]; then install_js_test_modules; fi
}

if [ ${#missing[@]} -eq 0 ]; then
    js_modules
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
run_as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
    run_as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -qq
"${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
js_modules
