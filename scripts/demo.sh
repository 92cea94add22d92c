#!/usr/bin/env bash
# Builds what the demo runs (the terminal, the charting module, the history service and the
# built-in indicator files, optimised) and starts the terminal, with the history service running
# in the background on loopback. Installs what is missing first, the Russian locale included.
# Extra arguments go to the terminal (see its --help). Each step says how long it took.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
started=$SECONDS
step() {
    echo "demo: $1 ($((SECONDS - started)) s)" >&2
}
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

bash scripts/install-deps.sh --demo
# The texts are Russian; dates and numbers are shown as on a Russian trader's machine too.
lang=ru_RU.UTF-8
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
    "${as_root[@]}" sed -i 's/^# *\(ru_RU\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU\.UTF-8 UTF-8' /etc/locale.gen \
        || echo 'ru_RU.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
    "${as_root[@]}" locale-gen >/dev/null
fi
step "packages and locale ready"
cmake --preset demo >/dev/null
step "configured"
cmake --build --preset demo
step "built"
bin="$PWD/build/demo/bin"

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
export LANG="$lang" LC_ALL="$lang"

step "starting the terminal"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the terminal on a virtual X server (xvfb-run)." >&2
    xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/terminal" "${args[@]}"
else
    "$bin/terminal" "${args[@]}"
fi
