#!/usr/bin/env bash
# Card finder figures of rfdock-sim: events per second delivered to the client and the service's CPU
# share with a Mifare Classic 1K card lying on a simulated type-4 reader, for the finder in event
# mode without pause, paused after its first event, and stopped.
#   bench/finder_load.sh [build-dir] [seconds-per-window]
set -euo pipefail
build=${1:-build}
seconds=${2:-5}
bin=$(cd "$build/bin" && pwd)
home=$(mktemp -d)
trap 'kill $rf 2>/dev/null || true; rm -rf "$home"' EXIT
port=$((20000 + RANDOM % 20000))
mkdir -p "$home/bin"
printf '#!/bin/sh\nexit 0\n' >"$home/bin/xdg-open" && chmod +x "$home/bin/xdg-open"
cat >"$home/scenario.json" <<'JSON'
{ "readers": [ { "type": 4, "cards": [ { "kind": "mifare1k", "uid": "A1B2C3D4" } ] } ] }
JSON

HOME=$home RFDOCK_HOME=$home PATH="$home/bin:$PATH" RFDOCK_SIM_SCENARIO="$home/scenario.json" \
    "$bin/rfdock-sim" -p $port >/dev/null 2>&1 & rf=$!
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/ping" >/dev/null && break; sleep 0.05; done
pass=$(sed -n 's/^pass = //p' "$home/.tesmar/rfdock-sim/etc/rfdock-sim.conf")

for ms in 0 20 200; do
    "$bin/finder_load" --port $port --pass "$pass" --pid $rf --seconds "$seconds" --ms $ms
done
