#!/usr/bin/env bash
# Checks the Debian package built in BUILD (default build): what it holds and leaves out, lintian,
# the desktop file, the user unit and the udev rules; then runs the packaged program from an
# unpacked copy and asks it for its page, which it must find in the shared web area.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
deb="$(ls -t "$build"/rfdock_*.deb | head -1)"
echo "checking $deb"

contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for file in ./usr/bin/rfdock ./usr/share/rfdock/web/index.html ./usr/share/rfdock/web/rfdock.js \
    ./usr/lib/udev/rules.d/70-rfdock-readers.rules ./usr/lib/systemd/user/rfdock.service \
    ./usr/share/applications/rfdock.desktop ./usr/share/man/man1/rfdock.1.gz \
    ./usr/share/doc/rfdock/copyright ./usr/share/doc/rfdock/changelog.gz; do
    grep -qx -- "$file" <<<"$contents" || { echo "missing from the package: $file" >&2; exit 1; }
done
if grep -E 'rfdock-sim|_tests$|_bench$' <<<"$contents"; then
    echo "the package holds build-only programs" >&2
    exit 1
fi
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || { echo "no shared-library dependencies" >&2; exit 1; }

lintian --fail-on error "$deb"
desktop-file-validate packaging/rfdock.desktop && echo "desktop-file-validate: the link handler is sound"

tmp="$(mktemp -d)"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$tmp/root"

# The unit against the unpacked program: systemd resolves the bare name on its own search path,
# so the check puts the program where that path looks first.
if command -v systemd-analyze >/dev/null; then
    mkdir -p "$tmp/unit"
    sed "s|^ExecStart=rfdock |ExecStart=$tmp/root/usr/bin/rfdock |" packaging/rfdock.service >"$tmp/unit/rfdock.service"
    SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$tmp/unit/rfdock.service"
    echo "systemd-analyze verify: the user unit is sound"
fi
# udev reads runtime rules from /run/udev/rules.d: the rules go there for one dry run (as root only),
# which parses every rules file and names the file of any line it cannot read.
if command -v udevadm >/dev/null && [ "$(id -u)" -eq 0 ] && [ -e /sys/class/tty/tty ]; then
    mkdir -p /run/udev/rules.d
    runtime_rules=/run/udev/rules.d/70-rfdock-readers-check.rules
    cp packaging/70-rfdock-readers.rules "$runtime_rules"
    out="$(udevadm test --action=add /sys/class/tty/tty 2>&1 || true)"
    rm -f "$runtime_rules"
    grep -q 'rfdock-readers-check.rules' <<<"$out" || { echo "udevadm did not read the rules" >&2; exit 1; }
    if grep -i 'rfdock-readers-check.rules:[0-9].*' <<<"$out"; then exit 1; fi
    echo "udevadm test: the rules parse"
fi

# The launch URL starts it as the desktop file and the unit do: no browser, the port from the URL.
port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
mkdir -p "$tmp/home"
HOME="$tmp/home" "$tmp/root/usr/bin/rfdock" "rfdock://start/?-p&$port" >"$tmp/out.txt" 2>&1 &
pid=$!
for _ in $(seq 50); do
    curl -fs "http://127.0.0.1:$port/ping" >/dev/null 2>&1 && break
    sleep 0.1
done
curl -fs "http://127.0.0.1:$port/" | grep -q '<title>rfdock</title>' ||
    { echo "the packaged program does not serve its page" >&2; cat "$tmp/out.txt" >&2; exit 1; }
curl -fs "http://127.0.0.1:$port/rfdock.js" | cmp -s - web/rfdock.js ||
    { echo "the packaged program serves another rfdock.js" >&2; exit 1; }
echo "package checks passed"
