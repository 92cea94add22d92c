#!/usr/bin/env bash
# Builds the Debug configuration with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test suite headless. Installs what is missing first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh
werror=OFF
if [ -n "${CI:-}" ]; then
    werror=ON
fi
cmake --preset dev -DTA_WERROR="$werror" >/dev/null
cmake --build --preset dev
# The concurrency suites again under ThreadSanitizer, then every suite under ASan and UBSan.
cmake --preset tsan -DTA_WERROR="$werror" >/dev/null
cmake --build --preset tsan
ctest --preset tsan
ctest --preset dev
