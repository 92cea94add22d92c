#!/usr/bin/env bash
# Builds the Debug configuration with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test suite headless. Installs what is missing first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh --tests
werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi
cmake --preset dev -DTA_WERROR="$werror" >/dev/null
cmake --build --preset dev
# The concurrency suites again under ThreadSanitizer, then every suite under ASan and UBSan.
cmake --preset tsan -DTA_WERROR="$werror" >/dev/null
cmake --build --preset tsan
# The suites write only into temporary directories: afterwards the build trees hold nothing new
# beyond the build system's and CTest's own records, and the sources nothing untracked.
marker="$(mktemp)"
trap 'rm -f "$marker"' EXIT
untracked="$(git status --porcelain --untracked-files=all 2>/dev/null | grep '^??' || true)"
ctest --preset tsan
ctest --preset dev
written="$(find build/dev build/tsan -newer "$marker" -type f -not -path '*/Testing/*' \
    -not -path '*/CMakeFiles/*' -not -name '.ninja_*' -not -name 'CTestCostData.txt' -not -name 'install_manifest.txt' || true)"
now_untracked="$(git status --porcelain --untracked-files=all 2>/dev/null | grep '^??' || true)"
if [ -n "$written" ] || [ "$untracked" != "$now_untracked" ]; then
    echo "The tests wrote outside their temporary directories:" >&2
    printf '%s\n' "$written" >&2
    diff <(printf '%s\n' "$untracked") <(printf '%s\n' "$now_untracked") >&2 || true
    exit 1
fi
