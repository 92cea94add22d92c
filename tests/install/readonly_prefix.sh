#!/bin/sh
# Installs the build into a temporary prefix, makes the prefix read-only and runs ta-tool and
# the terminal from there as a user would, with a home and data folders of their own: the
# programs must find their plug-in, reference data and indicator files through the installed
# layout, and write the user's files (settings, indicators, cache files) to the user's folders
# and nothing under the prefix. The installed tree is moved before it runs: it must work from
# anywhere.
# Usage: readonly_prefix.sh CMAKE BUILD_DIR TERMINAL TA_TOOL HDX_SERVER
# (the build's programs: the two the installation copies, named so that whoever runs the test
# knows what to build first, and the history service, which is not installed and runs from
# the build)
set -eu
cmake=$1
build=$2
hdx=$5
for program in "$3" "$4" "$hdx"; do
    [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
done
work=$(mktemp -d)
server=
trap '[ -z "$server" ] || kill "$server"; chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/installed" > "$work/install.log" \
    || { cat "$work/install.log"; fail "cmake --install"; }
prefix=$work/moved
mv "$work/installed" "$prefix"

# The layout: the commands in bin/, the programs, the module and the marker in their folder,
# the shipped data apart; the history service stays a development tool.
app=$(dirname "$(readlink -f "$prefix/bin/ta-terminal")")
for f in "$prefix/bin/ta-terminal" "$prefix/bin/ta-tool" "$app/.installed" "$app/libhost.so" \
         "$app/plugins/libtaplugin.so"; do
    [ -e "$f" ] || fail "$f is not installed"
done
case $app in "$prefix"/*) ;; *) fail "the terminal lies outside the prefix: $app" ;; esac
[ -n "$(find "$prefix" -name reference.json)" ] || fail "no reference data installed"
[ -n "$(find "$prefix" -path '*/tascripts/indicators/MACD')" ] || fail "no indicators installed"
[ -n "$(find "$prefix" -path '*/tascripts/functions/ema')" ] || fail "no functions installed"
[ -z "$(find "$prefix" -name 'hdx-server*')" ] || fail "hdx-server is installed"
[ -z "$(find "$prefix" -name 'tst_*' -o -name 'bench_*')" ] || fail "tests or benchmarks installed"

chmod -R a-w "$prefix"
find "$prefix" | sort > "$work/before"

home=$work/home
mkdir -p "$home" "$work/data" "$work/config" "$work/cache" "$work/runtime"
chmod 700 "$work/runtime"
run() {
    env -u TA_DATA_DIR -u TA_TERMINAL_SETTINGS -u TA_REFERENCE_DATA -u TA_PLUGIN_DIR \
        HOME="$home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
        XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" \
        TA_NOW=2026-11-25T14:30:00 QT_QPA_PLATFORM=offscreen "$@"
}

# An indicator of the user's own, saved where the terminal's editor keeps them, built on the
# shipped "sma" function.
userIndicators=$work/data/ta-terminal/user/tascripts/indicators
mkdir -p "$userIndicators"
cp "$(find "$prefix" -path '*/tascripts/indicators/SMA')" "$userIndicators/My_SMA"
chmod u+w "$userIndicators/My_SMA"

run "$hdx" --port 0 > "$work/port" 2> "$work/server.err" &
server=$!
for i in 1 2 3 4 5 6 7 8 9 10; do
    [ -s "$work/port" ] && break
    sleep 0.5
done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || { cat "$work/server.err"; fail "the history service did not start"; }

run "$prefix/bin/ta-tool" study --key 2,2,2001 --timeframe 60 --days 2 --to 2026-11-24 \
    --hdx-url "http://127.0.0.1:$port" --indicator My_SMA --param n=3 \
    > "$work/study.csv" 2> "$work/study.err" || { cat "$work/study.err"; fail "ta-tool study"; }
grep -q '^2026-11-24 18:44:00,[0-9]' "$work/study.csv" \
    || { cat "$work/study.csv" "$work/study.err"; fail "ta-tool study printed no average"; }

run "$prefix/bin/ta-terminal" --no-hdx --open 2,2,2001 --quit-after 1000 \
    > "$work/terminal.log" 2>&1 || { cat "$work/terminal.log"; fail "the terminal"; }
if grep -q 'модуль графиков не загружен' "$work/terminal.log"; then
    cat "$work/terminal.log"; fail "the terminal did not load its module"
fi

# Where the files went.
find "$prefix" | sort > "$work/after"
diff "$work/before" "$work/after" || fail "files appeared under the prefix"
grep -q 'factory=TAMainWindow' "$work/config/ta-terminal/terminal.ini" \
    || fail "no chart window was saved in the user's configuration"
[ -d "$work/data/ta-terminal/user/tascripts/functions" ] \
    || fail "the user's function folder is not in the user's data folder"
[ -f "$work/data/ta-terminal/tadata/EQ/EQMN/ARKT/20261124_60.hdx" ] \
    || fail "the downloaded day is not cached in the user's data folder"
stray=$(cd "$home" && find . -mindepth 1)
[ -z "$stray" ] || fail "files in the home folder outside the data folders: $stray"
echo "installed into a read-only prefix: OK"
