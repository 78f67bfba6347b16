#!/usr/bin/env bash
# Times the pipeline on the 3 Mb chr20 region (6,722 SNPs x 300 individuals): the whole script
# (linkstat streaming into ldtile, sortblocks, haplotypes with tags, ldplot), then every step on its own.
# Usage: bench/pipeline/run.sh [build-dir]   (default build/release; build it first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
data=$root/bench/data/chr20-3mb
work=$(mktemp -d "${TMPDIR:-/tmp}/ldblocks-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

for f in markers snps known; do gzip -dc "$data/$f.txt.gz" > "$work/$f.txt"; done

# Runs one step, prints its wall time and peak memory.
step() {
    local name=$1; shift
    local t0 t1
    t0=$(date +%s.%N)
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "%M" -o "$work/rss" "$@"
    else
        "$@"; echo "?" > "$work/rss"
    fi
    t1=$(date +%s.%N)
    printf '%-22s %7.2f s  peak %7s KB\n' "$name" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$(tail -n 1 "$work/rss")"
}

echo "pipeline on chr20-3mb ($(wc -l < "$work/markers.txt") markers), $(nproc) processors, load: $(uptime | sed 's/.*load/load/')"
step "ldblocks (whole run)" sh "$root/scripts/ldblocks" -k "$work/known.txt" -o "$work/run" "$work/markers.txt" "$work/snps.txt"
step "ldblocks --no-plot" sh "$root/scripts/ldblocks" --no-plot -k "$work/known.txt" -o "$work/run" "$work/markers.txt" "$work/snps.txt"
echo "steps on their own:"
step linkstat "$build/linkstat/linkstat" -D "-I$work/markers.txt" "-O$work/bounds.txt"
step ldtile sh -c "'$build/ldtile/ldtile' -d '$work/bounds.txt' -f '$work/blocks.dat' -o '$work/plot.dat' > '$work/ldtile.txt'"
step sortblocks "$build/sortblocks/sortblocks" -o "$work/blocks.sorted.dat" "$work/blocks.dat"
step haplotypes sh -c "'$build/Haplotypes/haplotypes' -s '$work/snps.txt' -b '$work/blocks.sorted.dat' -k '$work/known.txt' -t '$work/tags.txt' > '$work/report.txt'"
step ldplot "$build/ldplot/ldplot" -d "$work/bounds.txt" -b "$work/blocks.dat" -o "$work/ld.png"
cmp -s "$work/report.txt" "$work/run/report.txt" || { echo "run.sh: the steps and the script disagree" >&2; exit 1; }
echo "records: $(wc -l < "$work/bounds.txt"), blocks: $(($(wc -l < "$work/blocks.sorted.dat") - 1))"
