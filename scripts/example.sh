#!/usr/bin/env bash
# Builds the programs (no tests, no benchmark helpers) and runs the whole pipeline on the bundled
# chr20 example region, from its VCF.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build

options=(-DCMAKE_BUILD_TYPE=Release)
# A new build tree gets the programs alone, without GoogleTest; a tree configured before keeps its
# tests (scripts/test.sh turns them on).
[ -f build/release/CMakeCache.txt ] || options+=(-DBUILD_TESTING=OFF)
if command -v ccache >/dev/null 2>&1; then options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B build/release "${options[@]}" >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)" --target programs

scripts/ldblocks -e 3 -o out/chr20 examples/chr20/chr20.vcf.gz
echo
echo "First rows of the block report $(pwd)/out/chr20/report.txt:"
head -n 6 out/chr20/report.txt
echo "Tag SNPs of every block: out/chr20/tags.txt; the LD map: out/chr20/ld.png, and to explore in a"
echo "web browser: out/chr20/view/index.html"
