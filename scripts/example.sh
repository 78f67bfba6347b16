#!/usr/bin/env bash
# Builds the tool-chain and runs the whole pipeline on the bundled chr20 example region, from its VCF.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"

scripts/ldblocks -e 3 -o out/chr20 examples/chr20/chr20.vcf.gz
echo
echo "First rows of the block report $(pwd)/out/chr20/report.txt:"
head -n 6 out/chr20/report.txt
echo "Tag SNPs of every block: out/chr20/tags.txt; the LD map: out/chr20/ld.png"
