#!/usr/bin/env bash
# Builds the tool-chain twice (optimised, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in both builds; then runs every fuzz
# harness for 20 seconds over its committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
for variant in release asan; do
    dir=build/$variant
    if [ "$variant" = asan ]; then
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDTOOLS_SANITIZE=ON
    else
        cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release
    fi
    cmake --build "$dir" -j "$jobs"
    echo "== tests: $variant build"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done
echo "== all tests passed in both builds"

FUZZ_KEEP_CORPUS=0 scripts/fuzz.sh 20
