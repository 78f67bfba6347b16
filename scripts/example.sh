#!/usr/bin/env bash
# Builds the tool-chain and runs it on the bundled chr20 example region.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

mkdir -p out/chr20
build/release/linkstat/linkstat -P -Iexamples/chr20/markers.txt -Oout/chr20/bounds.txt
echo "LD bounds of the chr20 example: $(pwd)/out/chr20/bounds.txt ($(wc -l < out/chr20/bounds.txt) lines)"
