#!/usr/bin/env bash
# Builds the libFuzzer targets with the fuzz preset (clang) and runs each on its seed corpus.
#
#   scripts/fuzz.sh [SECONDS] [LIBFUZZER FLAGS...]
#
# SECONDS is the time per target (default 60). New interesting inputs are kept in
# build/fuzz/corpus/<target>, failing inputs in build/fuzz/artifacts/<target>/; the seed
# corpora under tests/fuzz/corpus are only read. Exits non-zero when a target failed.
set -euo pipefail

seconds="${1:-60}"
shift || true
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

nice cmake --preset fuzz >/dev/null
nice cmake --build --preset fuzz --target fuzz_decimal fuzz_reference fuzz_cacheline \
    fuzz_zlibstream fuzz_responseparser fuzz_tradesfile fuzz_studyfile fuzz_barscsv

# Same environment as the tests: headless, pinned time zone and locale.
export QT_QPA_PLATFORM=offscreen TZ=Europe/Moscow LC_ALL=C.UTF-8
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

status=0
for target in decimal reference cacheline zlibstream responseparser tradesfile studyfile barscsv; do
    work="build/fuzz/corpus/$target"
    artifacts="build/fuzz/artifacts/$target/"
    mkdir -p "$work" "$artifacts"
    echo "== fuzz_$target, ${seconds} s"
    if ! nice "build/fuzz/bin/fuzz_$target" -max_total_time="$seconds" -timeout=30 \
            -dict="tests/fuzz/$target.dict" -artifact_prefix="$artifacts" \
            -print_final_stats=1 "$@" "$work" "tests/fuzz/corpus/$target"; then
        echo "== fuzz_$target FAILED: the input is in $artifacts"
        status=1
    fi
done
exit "$status"
