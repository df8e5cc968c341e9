#!/usr/bin/env bash
# Sets everything up, then builds and passes every test: g++ release, then clang with the
# address and undefined-behaviour sanitizers (the tests again, and the fuzz targets, run last).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

jobs=$(nproc)
for preset in release sanitize; do
    echo "== ${preset}: build"
    cmake --preset "${preset}" >/dev/null
    cmake --build --preset "${preset}" -j "${jobs}"
    echo "== ${preset}: test"
    if [ "${preset}" = sanitize ]; then
        # The browser drives the same server the release run already tested in a real browser;
        # under the sanitizers its slower frames would only test the browser's patience.
        ctest --preset "${preset}" -j "${jobs}" -LE browser
    else
        ctest --preset "${preset}" -j "${jobs}"
    fi
done

echo "== fuzz"
fuzz/run.sh build/sanitize "${CORVELLE_FUZZ_SECONDS:-100}"
