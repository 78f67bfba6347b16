#!/usr/bin/env bash
# Benchmarks of haplotypes (optimised build). Each search runs under the program's default
# work budget; a search the budget stops is marked so.
#  1. The htSNP searches alone on hard lists, the block's own search (NeedSNP) beside the
#     true minimum (MinSNP, what -t adds):
#     - 16 common haplotypes of 6 carriers each over 200 and 400 random SNPs (no SNP is
#       necessary, so the whole list goes to the smallest-subset search); target: at most
#       50 ms for the search, at most 1 s for the true minimum;
#     - 16 haplotypes where SNP k carries "1" on the k-th pair of haplotypes, over 30, 38, 60
#       and 120 SNPs (the smallest sets are large and the simple bounds far below them).
#  2. The whole program with -t on such blocks written as SNP files.
#  3. The whole program with -t on the chr20 3 Mb region (6,722 SNPs) with its known SNPs:
#     with the blocks the pipeline finds there (linkstat -D, its four-number records, ldtile,
#     sorted; generated here), target at most 0.5 s; and with the larger blocks of
#     consecutive SNPs from makeblocks.sh.
# Each program run is repeated; the best wall-clock time and the peak memory are printed.
#
# usage: bench/haplotypes/run.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target haplotypes htsnps_bench linkstat ldtile sortblocks >/dev/null
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
        /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/out" 2>"$work/err"
        end=$EPOCHREALTIME
        local took
        took=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
        if [ -z "$best" ] || awk -v t="$took" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$took; fi
        memory=$(cat "$work/time")
    done
    echo "best of $runs: ${best} s, peak memory ${memory} KB"
}

echo "load: $(uptime)"
echo "== htSNP searches alone"
"$helper" random 20
"$helper" pairs

echo "== whole program with -t, one hard block"
for snps in 200 400; do
    "$helper" --write random "$snps" 1 "$work/block.txt" "$work/block-blocks.txt"
    echo -n "16 haplotypes x $snps random SNPs: "
    best_of "$bin" -s "$work/block.txt" -b "$work/block-blocks.txt" -t "$work/tags.txt"
    echo "   row: $(sed -n 2p "$work/out")"
    echo "   tags: $(cut -f 3-6 "$work/tags.txt" | sed -n 2p)"
done
for snps in 30 38 60 120; do
    "$helper" --write pairs "$snps" "$work/block.txt" "$work/block-blocks.txt"
    echo -n "16 haplotypes x $snps pair-marking SNPs: "
    best_of "$bin" -s "$work/block.txt" -b "$work/block-blocks.txt" -t "$work/tags.txt"
    echo "   NeedSNP, MinSNP: $(cut -f 4,6 "$work/tags.txt" | sed -n 2p | tr "\t" " ")"
    [ ! -s "$work/err" ] || sed "s/^/   /" "$work/err"
done

echo "== whole program with -t, chr20 3 Mb region"
gzip -dc bench/data/chr20-3mb/snps.txt.gz >"$work/snps.txt"
gzip -dc bench/data/chr20-3mb/known.txt.gz >"$work/known.txt"
gzip -dc bench/data/chr20-3mb/markers.txt.gz >"$work/markers.txt"
# The pipeline's blocks: the four-number records of linkstat (-D), ldtile, sorted by position.
build/release/linkstat/linkstat -D "-I$work/markers.txt" "-O$work/bounds.txt"
build/release/ldtile/ldtile -d "$work/bounds.txt" -f "$work/ldtile-blocks.txt" -o "$work/plot.dat" >/dev/null
build/release/sortblocks/sortblocks -o "$work/blocks.txt" "$work/ldtile-blocks.txt"
bench/haplotypes/makeblocks.sh "$work/snps.txt" >"$work/consecutive-blocks.txt"
for blocks in blocks consecutive-blocks; do
    echo -n "$(wc -l <"$work/snps.txt") SNPs, $(($(wc -l <"$work/$blocks.txt") - 1)) ${blocks/-/ }, known SNPs, -t: "
    best_of "$bin" -s "$work/snps.txt" -b "$work/$blocks.txt" -k "$work/known.txt" -t "$work/tags.txt"
    echo "   $(tail -1 "$work/out"); blocks with MinSNP < NeedSNP: $(awk -F'\t' 'NR > 1 && $6 != "NA" && $6 < $4' "$work/tags.txt" | wc -l)"
done
echo "load: $(uptime)"
