#!/usr/bin/env bash
# Messages/s and latency of rfdock against a bare Beast echo server with the same worker count, in
# one run, at 1, 16 and 256 sessions; then the service's memory with 400 idle logged-in sessions.
#   bench/ws_load.sh [build-dir] [seconds]
set -euo pipefail
build=${1:-build}
seconds=${2:-5}
bin=$(cd "$build/bin" && pwd)
home=$(mktemp -d)
trap 'kill $rf $echo 2>/dev/null || true; rm -rf "$home"' EXIT
port_rf=$((20000 + RANDOM % 20000))
port_echo=$((port_rf + 1))
workers=4

HOME=$home RFDOCK_HOME=$home "$bin/rfdock" "rfdock://start/?-p&$port_rf" >/dev/null 2>&1 & rf=$!
"$bin/ws_echo_server" $port_echo $workers & echo=$!
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port_rf/ping" >/dev/null && break; sleep 0.05; done
pass=$(sed -n 's/^pass = //p' "$home/.tesmar/rfdock/etc/rfdock.conf")

for n in 1 16 256; do
    a=$("$bin/ws_load" --port $port_rf --sessions $n --seconds "$seconds" --pass "$pass")
    b=$("$bin/ws_load" --port $port_echo --sessions $n --seconds "$seconds")
    ra=$(sed -n 's/.*messages\/s=\([0-9]*\).*/\1/p' <<<"$a")
    rb=$(sed -n 's/.*messages\/s=\([0-9]*\).*/\1/p' <<<"$b")
    echo "rfdock: $a"
    echo "echo:   $b"
    awk -v a="$ra" -v b="$rb" -v n=$n 'BEGIN { printf "N=%d ratio rfdock/echo = %.2f\n", n, a / b }'
done
"$bin/ws_load" --port $port_rf --sessions 400 --seconds 1 --pass "$pass" --idle --pid $rf
