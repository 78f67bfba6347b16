#!/usr/bin/env bash
# Benchmarks of haplotypes (optimised build):
#  1. the htSNP search alone on adversarial lists: 16 common haplotypes of 6 carriers
#     each over 200 and over 400 random SNPs (no SNP is necessary, so the whole list goes
#     to the smallest-subset search); target: at most 50 ms per search;
#  2. the whole program on such a block written as a SNP file;
#  3. the whole program on the chr20 3 Mb region (6,722 SNPs) with its known SNPs and a
#     sorted block file of consecutive SNPs from makeblocks.sh; target: well under 1 s.
# Each program run is repeated; the best wall-clock time and the peak memory are printed.
#
# usage: bench/haplotypes/run.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target haplotypes htsnps_bench >/dev/null
bin=build/release/Haplotypes/haplotypes
helper=build/release/Haplotypes/bench/htsnps_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall-clock seconds and peak resident memory of `runs` runs of a command.
best_of() {
    local best="" memory=""
    for _ in $(seq "$runs"); do
        local start end
        start=$EPOCHREALTIME
        /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/out"
        end=$EPOCHREALTIME
        local took
        took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
        if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$took; fi
        memory=$(cat "$work/time")
    done
    echo "best of $runs: ${best} s, peak memory ${memory} KB"
}

echo "load: $(uptime)"
echo "== htSNP search alone"
"$helper" 20

echo "== whole program, one adversarial block"
for snps in 200 400; do
    "$helper" --write "$snps" 1 "$work/adversarial.txt" "$work/adversarial-blocks.txt"
    echo -n "16 haplotypes x $snps SNPs: "
    best_of "$bin" -s "$work/adversarial.txt" -b "$work/adversarial-blocks.txt"
    echo "   row: $(sed -n 2p "$work/out")"
done

echo "== whole program, chr20 3 Mb region"
gzip -dc bench/data/chr20-3mb/snps.txt.gz >"$work/snps.txt"
gzip -dc bench/data/chr20-3mb/known.txt.gz >"$work/known.txt"
bench/haplotypes/makeblocks.sh "$work/snps.txt" >"$work/blocks.txt"
echo -n "$(wc -l <"$work/snps.txt") SNPs, $(($(wc -l <"$work/blocks.txt") - 1)) blocks, with known SNPs: "
best_of "$bin" -s "$work/snps.txt" -b "$work/blocks.txt" -k "$work/known.txt"
echo "   $(tail -1 "$work/out")"
echo "load: $(uptime)"
