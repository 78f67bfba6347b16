#!/usr/bin/env bash
# Builds the tool-chain twice (optimised, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in both builds; a third build with
# ThreadSanitizer runs the tests of threaded code; then every fuzz harness runs for 20 seconds
# over its committed corpus.
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

# ThreadSanitizer: the tests of threaded code only (suites Threads*, WorkerTeam), to keep CI time short.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDTOOLS_TSAN=ON
cmake --build build/tsan -j "$jobs" --target linkstat_test common_test
echo "== threaded tests: tsan build"
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -R '^(Threads|WorkerTeam)'

FUZZ_KEEP_CORPUS=0 scripts/fuzz.sh 20
echo "== all tests passed (release, sanitizer and thread-sanitizer builds) and every fuzz harness ran clean"
