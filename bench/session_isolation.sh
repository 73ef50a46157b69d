#!/usr/bin/env bash
# Session isolation figures of rfdock-sim with one front-end worker: session B's round trips while
# session A opens a serial reader that never answers, against B's own figures with A idle.
#   bench/session_isolation.sh [build-dir] [seconds-per-window] [repetitions]
set -euo pipefail
build=${1:-build}
seconds=${2:-1}
reps=${3:-5}
bin=$(cd "$build/bin" && pwd)
home=$(mktemp -d)
trap 'kill $rf 2>/dev/null || true; rm -rf "$home"' EXIT
port=$((20000 + RANDOM % 20000))
mkdir -p "$home/bin" "$home/.tesmar/rfdock-sim/etc"
printf '#!/bin/sh\nexit 0\n' >"$home/bin/xdg-open" && chmod +x "$home/bin/xdg-open"
printf '[server]\nworkerNum = 1\n' >"$home/.tesmar/rfdock-sim/etc/rfdock-sim.conf"

HOME=$home RFDOCK_HOME=$home PATH="$home/bin:$PATH" "$bin/rfdock-sim" -p $port >/dev/null 2>&1 & rf=$!
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$port/ping" >/dev/null && break; sleep 0.05; done
pass=$(sed -n 's/^pass = //p' "$home/.tesmar/rfdock-sim/etc/rfdock-sim.conf")

"$bin/session_isolation" --port $port --pass "$pass" --seconds "$seconds" --reps "$reps"
