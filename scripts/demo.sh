#!/usr/bin/env bash
# Builds the optimised configuration and starts the terminal with the charting plug-in, with the
# history service (hdx-server) running in the background on loopback. Installs what is missing
# first. Extra arguments go to the terminal (see --help).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
bin="$PWD/build/release/bin"

# The history service picks a free port and prints it; the terminal is pointed at it.
portfile="$(mktemp)"
"$bin/hdx-server" --port 0 >"$portfile" &
server=$!
trap 'kill "$server" 2>/dev/null || true; rm -f "$portfile"' EXIT
for _ in $(seq 50); do
    [ -s "$portfile" ] && break
    sleep 0.1
done
port="$(head -n 1 "$portfile")"
# A first start shows a chart of a simulated instrument over five days of history; later starts
# bring back the saved windows.
args=(--hdx-url "http://127.0.0.1:$port" --default-window 2,2,2001 --chart-days 5 "$@")

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the terminal on a virtual X server (xvfb-run)." >&2
    xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/terminal" "${args[@]}"
else
    "$bin/terminal" "${args[@]}"
fi
