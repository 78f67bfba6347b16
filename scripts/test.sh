#!/usr/bin/env bash
# The tests of the tool-chain.
#   scripts/test.sh          the quick round: builds build/release (optimised) and runs every test
#                            not labelled slow or browser (ctest -LE 'slow|browser'); minutes
#   scripts/test.sh --full   what CI runs: every test in the optimised build (the workflow, phasing
#                            and browser tests among them), the others again in a build with
#                            AddressSanitizer and UndefinedBehaviorSanitizer (build/asan),
#                            the tests of threaded code with ThreadSanitizer (build/tsan), then every
#                            fuzz harness for 20 seconds over its committed corpus
# ccache, when installed, serves the compiler.
set -euo pipefail
cd "$(dirname "$0")/.."

full=no
case ${1:-} in
    "") ;;
    --full) full=yes ;;
    *) echo "usage: scripts/test.sh [--full]" >&2; exit 2 ;;
esac
if [ "$full" = yes ]; then
    scripts/deps.sh build test workflow phase fuzz browser
else
    scripts/deps.sh build test
fi

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# build DIR CMAKE-OPTION... [-- TARGET...]: configures DIR with its tests and builds it (or the targets).
build() {
    local dir=$1
    shift
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
    [ $# -eq 0 ] || { shift; targets=("$@"); }
    cmake -S . -B "$dir" -DBUILD_TESTING=ON "${launcher[@]}" "${options[@]}" >/dev/null
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
    else
        cmake --build "$dir" -j "$jobs"
    fi
}

build build/release -DCMAKE_BUILD_TYPE=Release
if [ "$full" = no ]; then
    echo "== tests: release build, without the slow ones (scripts/test.sh --full runs every test)"
    ctest --test-dir build/release --output-on-failure -j "$jobs" -LE 'slow|browser'
    echo "== the quick tests passed"
    exit 0
fi

echo "== tests: release build"
ctest --test-dir build/release --output-on-failure -j "$jobs"

build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDTOOLS_SANITIZE=ON
# Every test but the page's tests in Chromium and the workflow's Snakemake runs: those check the
# page and the rules, whose programs the other tests already run under the sanitizers, and would
# add minutes.
echo "== tests: asan build (without the browser and workflow tests)"
ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE browser -E '^workflow[.]'


# ThreadSanitizer: the tests of threaded code only (suites Threads*, WorkerTeam), to keep CI time short.
build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLDTOOLS_TSAN=ON -- linkstat_test common_test
echo "== threaded tests: tsan build"
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -R '^(Threads|WorkerTeam)'

FUZZ_KEEP_CORPUS=0 scripts/fuzz.sh 20
echo "== all tests passed (release, sanitizer and thread-sanitizer builds) and every fuzz harness ran clean"
