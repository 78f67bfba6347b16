#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/) with clang and runs each for SECONDS (default 30) over
# its corpus in fuzz/corpus/<harness>/, where new inputs that reach new code are kept.
# Exits non-zero on any crash, sanitizer report, timeout, memory limit or mismatch.
#   scripts/fuzz.sh [SECONDS] [HARNESS ...]
# With FUZZ_KEEP_CORPUS=0 (as the test script sets it) the committed corpus is only read and new
# inputs go to build/fuzz/new-corpus/<harness>/, so a test run leaves the checkout unchanged.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build test fuzz

seconds=${1:-30}
shift || true
case $seconds in ''|*[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number" >&2; exit 2 ;; esac

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    mapfile -t harnesses < <(sed -n 's/^ldtools_fuzzer(\(fuzz_[a-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt)
fi
[ ${#harnesses[@]} -gt 0 ] || { echo "fuzz.sh: no harness found in fuzz/CMakeLists.txt" >&2; exit 1; }

dir=build/fuzz
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DLDTOOLS_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${harnesses[@]}"

mkdir -p "$dir/artifacts"
for h in "${harnesses[@]}"; do
    corpus=fuzz/corpus/${h#fuzz_}
    mkdir -p "$corpus"
    corpora=("$corpus")
    if [ "${FUZZ_KEEP_CORPUS:-1}" = 0 ]; then
        rm -rf "$dir/new-corpus/${h#fuzz_}"
        mkdir -p "$dir/new-corpus/${h#fuzz_}"
        corpora=("$dir/new-corpus/${h#fuzz_}" "$corpus")
    fi
    options=()
    [ -f "fuzz/$h.options" ] && read -r -a options < "fuzz/$h.options"
    echo "== $h: ${seconds}s over $corpus ($(find "$corpus" -type f | wc -l) inputs)"
    # A fixed seed over the committed corpus makes a CI run repeatable.
    "$dir/fuzz/$h" -seed=1 -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$h-" "${options[@]}" "${corpora[@]}" 2>"$dir/$h.log" || {
        status=$?
        tail -n 60 "$dir/$h.log" >&2
        echo "fuzz.sh: $h failed (status $status); the input is in $dir/artifacts/" >&2
        exit 1
    }
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' "$dir/$h.log" | tail -n 3
done
echo "== every harness ran clean"
