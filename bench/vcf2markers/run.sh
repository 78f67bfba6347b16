#!/usr/bin/env bash
# Benchmark of vcf2markers (optimised build) on the 1000 Genomes chr20 reference panel
# (24,990 variants x 300 individuals, 1,000,000-4,000,000):
#  1. round trip: `-r 20:1000000-4000000 -e 3` must give the three files of bench/data/chr20-3mb
#     byte for byte;
#  2. time of `vcf2markers -e 3` on the whole file next to `bcftools query -f '%POS[\t%GT]\n'`
#     (reading every genotype and printing it), runs alternating, median of each; target: a
#     ratio of at most 1.0. bcftools comes from `scripts/deps.sh bench`.
#
# usage: bench/vcf2markers/run.sh [reference.vcf.gz] [runs]
#   default file: ../shared/data/chr20-vcf/reference.vcf.gz next to the project; runs: 5
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
vcf=${1:-$root/../shared/data/chr20-vcf/reference.vcf.gz}
runs=${2:-5}
[ -f "$vcf" ] || { echo "run.sh: no VCF at $vcf; give its path as the first argument" >&2; exit 1; }
command -v bcftools >/dev/null || { echo "run.sh: bcftools is missing; run scripts/deps.sh bench" >&2; exit 1; }

build=$root/build/release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vcf2markers -j2 >/dev/null
bin=$build/vcf2markers/vcf2markers
work=$(mktemp -d "${TMPDIR:-/tmp}/vcf2markers-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "load: $(uptime | sed 's/.*load/load/')"
echo "== round trip: -r 20:1000000-4000000 -e 3 on $(basename "$vcf")"
"$bin" -r 20:1000000-4000000 -e 3 -o "$work/region" "$vcf"
status=0
for f in markers snps known; do
    if gzip -dc "$root/bench/data/chr20-3mb/$f.txt.gz" | cmp -s - "$work/region.$f.txt"; then
        echo "$f.txt: identical ($(wc -l < "$work/region.$f.txt") lines)"
    else
        echo "$f.txt: DIFFERS"
        status=1
    fi
done

# Wall-clock seconds of one run of a command, its output thrown away.
seconds() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== speed, $runs runs each, alternating"
: > "$work/ours"
: > "$work/peer"
for _ in $(seq "$runs"); do
    seconds "$bin" -e 3 -o "$work/whole" "$vcf" >> "$work/ours"
    seconds bcftools query -f '%POS[\t%GT]\n' -o /dev/null "$vcf" >> "$work/peer"
done
ours=$(median < "$work/ours")
peer=$(median < "$work/peer")
echo "vcf2markers -e 3:                      median $ours s  (runs: $(tr '\n' ' ' < "$work/ours"))"
echo "bcftools query -f '%POS[\\t%GT]\\n':     median $peer s  (runs: $(tr '\n' ' ' < "$work/peer"))"
awk -v a="$ours" -v b="$peer" 'BEGIN { printf "ratio vcf2markers / bcftools: %.2f (target <= 1.0)\n", a / b }'
echo "load: $(uptime | sed 's/.*load/load/')"
exit $status
