#!/usr/bin/env bash
# UDP relay figures of rfdock: datagram-to-event latency and the highest lossless datagram rate of
# one session, for small and large datagrams, in the clear and encrypted, each beside a bare
# loopback UDP socket measured in the same run.
#   bench/udp_relay.sh [build-dir] [seconds-per-rate-step]
set -euo pipefail
build=${1:-build}
seconds=${2:-2}
bin=$(cd "$build/bin" && pwd)
home=$(mktemp -d)
trap 'kill $rf 2>/dev/null || true; rm -rf "$home"' EXIT
port=$((20000 + RANDOM % 20000))

HOME=$home RFDOCK_HOME=$home "$bin/rfdock" "rfdock://start/?-p&$port" >/dev/null 2>&1 & rf=$!
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/ping" >/dev/null && break; sleep 0.05; done
pass=$(sed -n 's/^pass = //p' "$home/.tesmar/rfdock/etc/rfdock.conf")

for size in 32 1024; do
    for encrypt in "" --encrypt; do
        "$bin/udp_relay" --port $port --pass "$pass" --size $size --seconds "$seconds" $encrypt
    done
done
echo "service log lines about dropped events:"
grep -h "reads too slowly" "$home"/.tesmar/rfdock/logs/*.log || echo "(none)"
