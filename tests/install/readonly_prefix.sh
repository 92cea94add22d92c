#!/bin/sh
# Installs the build into a temporary prefix, makes the prefix read-only and runs ta-tool and
# the terminal from there as a user would, with a home and data folders of their own: the
# programs must find their plug-in, reference data and indicator files through the installed
# layout, and write the user's files (settings, indicators) to the user's folders and nothing
# under the prefix. The installed tree is moved before it runs: it must work from anywhere.
# Usage: readonly_prefix.sh CMAKE BUILD_DIR TERMINAL TA_TOOL
# (the build's two programs, which the installation copies, named so that whoever runs the
# test knows what to build first)
set -eu
cmake=$1
build=$2
for program in "$3" "$4"; do
    [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
done
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
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

trades=$work/trades.csv
echo "moment,price,quantity,value,open_interest,nosystem" > "$trades"
for m in 10 11 12 13 14 15 16 17 18 19; do
    echo "2026-11-25 10:$m:05.000,1$m.5,1,,," >> "$trades"
done

run "$prefix/bin/ta-tool" study --key 2,2,2001 --timeframe 60 --days 1 --no-history \
    --trades "$trades" --indicator My_SMA --param n=3 > "$work/study.csv" 2> "$work/study.err" \
    || { cat "$work/study.err"; fail "ta-tool study"; }
grep -q '^2026-11-25 10:12:00,111' "$work/study.csv" \
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
stray=$(cd "$home" && find . -mindepth 1)
[ -z "$stray" ] || fail "files in the home folder outside the data folders: $stray"
echo "installed into a read-only prefix: OK"
