#!/bin/sh
# Runs a command in a fresh temporary directory, named by $TA_TMP, that also holds its home,
# its settings and data locations and the charting module's cache, so that a program under test
# writes nothing into the build tree or the user's files; the directory goes afterwards.
TA_TMP=$(mktemp -d "${TMPDIR:-/tmp}/ta-test.XXXXXX") || exit 1
trap 'rm -rf "$TA_TMP"' EXIT
HOME="$TA_TMP/home"
XDG_CONFIG_HOME="$TA_TMP/config"
XDG_DATA_HOME="$TA_TMP/share"
XDG_CACHE_HOME="$TA_TMP/cache"
TA_DATA_DIR="$TA_TMP/data"
TA_TERMINAL_SETTINGS="$TA_TMP/terminal.ini"
export TA_TMP HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME TA_DATA_DIR TA_TERMINAL_SETTINGS
mkdir -p "$HOME"
cd "$TA_TMP" || exit 1
"$@"
