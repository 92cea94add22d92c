#!/usr/bin/env bash
# The mutation check: what do the tests catch? Every patch under tests/mutants/ plants one
# realistic fault. Each is applied alone, the release preset is rebuilt incrementally (only the
# executables its suites run), the suites it names run, and it is reported caught (a suite that
# passes on the unchanged tree failed) or missed. The tree is restored after every mutant,
# whatever happens, and again at the next start if a run was killed outright. A run that ends
# builds the executables again from the restored tree.
#
# Usage: scripts/mutants.sh [--timeout SECONDS] [--no-baseline] [PATTERN...]
#   PATTERN   run only the mutants whose file name contains one of the patterns
#   --timeout one suite's limit (default 300 s); a suite that runs over it counts as failed
#   --no-baseline  skip the run of the named suites on the unchanged tree first
#
# A mutant's first line is a comment: "# <the fault it plants>. Suites: <ctest names>".
# Logs go to build/release/mutants/<mutant>.log. Exit status: 0 when every mutant was caught.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
build="$root/build/release"
bin="$build/bin"
logs="$build/mutants"
marker="$logs/applied.patch"

timeout=300
baseline=1
patterns=()
while [ $# -gt 0 ]; do
    case "$1" in
        --timeout) timeout="$2"; shift 2 ;;
        --no-baseline) baseline=0; shift ;;
        -h|--help) sed -n '2,${/^#/!q;p}' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "mutants.sh: unknown option $1" >&2; exit 2 ;;
        *) patterns+=("$1"); shift ;;
    esac
done

mkdir -p "$logs"
# A crashing test asks gdb for a backtrace, which can hang until the timeout: without a gdb on
# the path a crash is reported at once.
mkdir -p "$logs/nogdb"
printf '#!/bin/sh\nexit 1\n' >"$logs/nogdb/gdb"
chmod +x "$logs/nogdb/gdb"
export PATH="$logs/nogdb:$PATH"
# A run that was killed before it could restore the tree left its patch here.
if [ -f "$marker" ]; then
    echo "Restoring the tree from a run that did not finish ($(head -n 1 "$marker" | cut -c1-60)...)"
    git apply -R "$marker"
    rm -f "$marker"
fi

applied=""
restore() {
    if [ -n "$applied" ]; then
        git apply -R "$applied" || echo "mutants.sh: could not restore $applied" >&2
        rm -f "$marker"
        applied=""
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

mutants=()
for file in tests/mutants/*.patch; do
    [ -e "$file" ] || continue
    name="$(basename "$file" .patch)"
    if [ ${#patterns[@]} -gt 0 ]; then
        keep=0
        for p in "${patterns[@]}"; do [[ "$name" == *"$p"* ]] && keep=1; done
        [ $keep -eq 1 ] || continue
    fi
    mutants+=("$file")
done
if [ ${#mutants[@]} -eq 0 ]; then
    echo "mutants.sh: no mutant matches" >&2
    exit 2
fi

cmake --preset release >/dev/null
ctestfile="$build/tests/CTestTestfile.cmake"

suites_of() { # the suites named on a mutant's first line
    head -n 1 "$1" | sed -n 's/.*Suites:[[:space:]]*//p'
}
description_of() {
    head -n 1 "$1" | sed -e 's/^#[[:space:]]*//' -e 's/[[:space:]]*Suites:.*$//'
}
# The executables a suite runs, as build targets; the terminal needs its module beside it.
targets_of() {
    local line word
    line="$(grep -F "add_test([=[$1]=]" "$ctestfile")" || return 1
    for word in $(grep -oE '/bin/[A-Za-z0-9_.-]+' <<<"$line" | sed 's|^/bin/||' | sort -u); do
        if [[ "$line" == *"$bin/$word"* ]]; then
            echo "$word"
            [ "$word" = terminal ] && echo taplugin && echo tascripts
        fi
    done
    return 0
}
build_for() { # suites...
    local targets=() s
    for s in "$@"; do
        mapfile -t -O "${#targets[@]}" targets < <(targets_of "$s")
    done
    [ ${#targets[@]} -eq 0 ] && return 0
    cmake --build "$build" --target $(printf '%s\n' "${targets[@]}" | sort -u)
}
# Runs one suite; its output is appended to the log. Returns ctest's status.
run_suite() { # suite log
    ctest --test-dir "$build" -R "^$1\$" --timeout "$timeout" --output-on-failure >>"$2" 2>&1
}
# The first failed test function in a log, or the suite's name.
first_failure() { # log suite
    local f
    f="$(grep -m 1 -oE '^FAIL!  : [A-Za-z0-9_:]+' "$1" | sed 's/^FAIL!  : //')" || true
    if [ -z "$f" ] && grep -q 'Timeout' "$1"; then f="timeout"; fi
    echo "$2${f:+ ($f)}"
}

# Check the names first: a misspelled suite must not pass as "missed".
all_suites=()
for m in "${mutants[@]}"; do
    suites="$(suites_of "$m")"
    if [ -z "$suites" ]; then
        echo "mutants.sh: $m names no suites on its first line" >&2
        exit 2
    fi
    for s in $suites; do
        if ! grep -qF "add_test([=[$s]=]" "$ctestfile"; then
            echo "mutants.sh: $m names an unknown suite: $s" >&2
            exit 2
        fi
        all_suites+=("$s")
    done
done
mapfile -t all_suites < <(printf '%s\n' "${all_suites[@]}" | sort -u)

start=$(date +%s)
declare -A broken_suite=()
if [ $baseline -eq 1 ]; then
    echo "Building and running ${#all_suites[@]} suites on the unchanged tree..."
    build_for "${all_suites[@]}" >"$logs/baseline-build.log" 2>&1 || {
        echo "mutants.sh: the unchanged tree does not build, see $logs/baseline-build.log" >&2
        exit 2
    }
    : >"$logs/baseline.log"
    for s in "${all_suites[@]}"; do
        if ! run_suite "$s" "$logs/baseline.log"; then
            broken_suite[$s]=1
            echo "  $s fails on the unchanged tree: it does not count for the mutants"
        fi
    done
    echo "Baseline done in $(( $(date +%s) - start )) s."
fi

caught=0
missed=0
errors=0
printf '%-56s %-8s %6s  %s\n' mutant result seconds "caught by / note"
for m in "${mutants[@]}"; do
    name="$(basename "$m" .patch)"
    log="$logs/$name.log"
    t0=$(date +%s)
    : >"$log"
    echo "# $(description_of "$m")" >>"$log"
    read -r -a suites <<<"$(suites_of "$m")"
    result=""
    note=""
    if ! git apply --check "$m" >>"$log" 2>&1; then
        result=error; note="does not apply"
    else
        cp "$m" "$marker"
        git apply "$m"
        applied="$m"
        if ! build_for "${suites[@]}" >>"$log" 2>&1; then
            result=error; note="does not build"
        else
            counted=0
            for s in "${suites[@]}"; do
                [ -n "${broken_suite[$s]:-}" ] && continue
                counted=1
                slog="$log.$s"
                : >"$slog"
                if ! run_suite "$s" "$slog"; then
                    result=caught
                    note="$(first_failure "$slog" "$s")"
                    cat "$slog" >>"$log"
                    rm -f "$slog"
                    break
                fi
                cat "$slog" >>"$log"
                rm -f "$slog"
            done
            if [ -z "$result" ]; then
                if [ $counted -eq 0 ]; then
                    result=error; note="every named suite fails on the unchanged tree"
                else
                    result=missed; note="${suites[*]} passed"
                fi
            fi
        fi
        restore
    fi
    case "$result" in
        caught) caught=$((caught + 1)) ;;
        missed) missed=$((missed + 1)) ;;
        *) errors=$((errors + 1)) ;;
    esac
    printf '%-56s %-8s %6d  %s\n' "$name" "$result" $(( $(date +%s) - t0 )) "$note"
done

# An executable a mutant was built into still holds it: build them all again from the
# restored tree, so that the release build's tests and programs run the real code afterwards.
build_for "${all_suites[@]}" >"$logs/restored-build.log" 2>&1 ||
    echo "mutants.sh: the restored tree does not build, see $logs/restored-build.log" >&2

summary="$caught caught, $missed missed"
[ $errors -gt 0 ] && summary="$summary, $errors errors"
echo "$summary ($(( $(date +%s) - start )) s in all)"
[ $missed -eq 0 ] && [ $errors -eq 0 ]
