#!/usr/bin/env bash
# The tool-chain against the peer plink1.9 on the chr20 benchmark VCF (1000 Genomes chr20 1-4 Mb,
# 203 individuals; SNPs with minor-allele frequency >= 0.05: 6,770 SNPs, 3.13 million pairs less than
# 200 kb apart). Whole processes, wall time, run in alternation, median of RUNS; both sides use the
# same number of threads (every processor online, and one):
#   linkstat -P                      against  plink1.9 --r2 dprime --ld-window 99999 --ld-window-kb 200
#                                             --ld-window-r2 0
#   scripts/ldblocks (text form,     against  plink1.9 --blocks no-pheno-req --blocks-max-kb 200
#   through report.txt and tags.txt)
# The block pipeline also on one core: both pinned with `taskset -c 0`, the peer with --threads 1 (linkstat
# then computes with the one processor it may run on); and both ways on a synthetic cohort of 3,000
# individuals (bench/linkstat/cohort.sh: 1,963 SNPs of the chr20 3 Mb benchmark region, 766,000 pairs),
# whose SNP file linkstat_cohortgen writes from the cohort's first 50 individuals. And, on their own:
# vcf2markers (the marker file from the VCF) beside the peer's --make-bed, and ldplot (the picture of the
# bounds and blocks) where it is built.
#
#   bench/peer/run.sh [RUNS]     default 5
#
# Outside the timing, the peer converts the VCF with its own filters (--snps-only just-acgt
# --biallelic-only strict --maf 0.05 --make-bed), and vcf2markers makes our files for the same SNPs
# and individuals: the marker file of the 203 individuals of the VCF, and the SNP file of haplotypes,
# which needs 50 individuals with phased genotypes, from the first 50 individuals of the phased panel
# reference.vcf.gz (same region and records), taken in one run from the two VCFs merged with bcftools
# so that both files hold exactly the same SNPs. The script checks that our SNPs are the peer's.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

runs=${1:-5}
case $runs in '' | *[!0-9]* | 0) echo "usage: bench/peer/run.sh [RUNS]" >&2; exit 2 ;; esac

# The shared data lie next to the checkout (or next to the folder of worktrees); CHR20_VCF names them.
data=${CHR20_VCF:-}
for candidate in "$root/../shared/data/chr20-vcf" "$root/../../shared/data/chr20-vcf"; do
    [ -n "$data" ] || [ ! -f "$candidate/unphased.vcf.gz" ] || data=$candidate
done
[ -n "$data" ] || { echo "bench/peer/run.sh: cannot find shared/data/chr20-vcf (set CHR20_VCF)" >&2; exit 1; }
command -v plink1.9 >/dev/null 2>&1 && command -v bcftools >/dev/null 2>&1 || scripts/deps.sh bench

build=$root/build/release
targets="linkstat ldtile haplotypes vcf2markers linkstat_cohortgen"
[ ! -d ldplot ] || targets="$targets ldplot"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target $targets >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/peer-bench-XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cd "$work"
cores=$(nproc)

# ---- data, outside the timing ----------------------------------------------------------------------

plink1.9 --vcf "$data/unphased.vcf.gz" --snps-only just-acgt --biallelic-only strict --maf 0.05 \
    --make-bed --out peer > peer-convert.log
bcftools query -l "$data/unphased.vcf.gz" > individuals.txt
bcftools query -l "$data/reference.vcf.gz" | head -n 50 > phased50.txt
bcftools merge -Oz -o merged.vcf.gz "$data/unphased.vcf.gz" "$data/reference.vcf.gz" 2> /dev/null
"$build/vcf2markers/vcf2markers" -S individuals.txt -F phased50.txt -o ours merged.vcf.gz 2> /dev/null
if ! cut -f1 ours.markers.txt | cmp -s - <(cut -f4 peer.bim) || ! cut -f1 ours.snps.txt | cmp -s - <(cut -f4 peer.bim); then
    echo "the SNPs of our files differ from the peer's" >&2
    exit 1
fi
snps=$(wc -l < peer.bim)
cohort=3000
gzip -dc "$root/bench/data/chr20-3mb/markers.txt.gz" > cohort-source.txt
"$build/bench/linkstat/linkstat_cohortgen" "$cohort" cohort-source.txt cohort 2> /dev/null
plink1.9 --file cohort --make-bed --out cohort > cohort-convert.log
scripts_ldblocks=$root/scripts/ldblocks
plot=""
if "$scripts_ldblocks" --help 2>/dev/null | grep -c no-plot > /dev/null; then plot=--no-plot; fi

# ---- timing ------------------------------------------------------------------------------------------

# time_of NAME COMMAND...: runs the command (its output to NAME.out, NAME.err), appends the wall time in
# seconds to NAME.times, and stops the script if the command fails.
time_of() {
    local name=$1 start end
    shift
    start=$(date +%s.%N)
    if ! "$@" > "$name.out" 2> "$name.err"; then
        echo "$name failed:" >&2
        cat "$name.err" >&2
        exit 1
    fi
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' >> "$name.times"
}
median() { sort -n "$1.times" | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }

peer_r2=(--bfile peer --r2 dprime --ld-window 99999 --ld-window-kb 200 --ld-window-r2 0)
peer_blocks=(--blocks no-pheno-req --blocks-max-kb 200)
one_core=(taskset -c 0)

echo "chr20 1-4 Mb: $snps SNPs, $(wc -l < peer.fam) individuals; $cores processors; $runs runs each"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for run in $(seq "$runs"); do
    time_of linkstat "$build/linkstat/linkstat" -P "-T$cores" -Iours.markers.txt -Oours.bounds.txt
    time_of peer_r2 plink1.9 "${peer_r2[@]}" --threads "$cores" --out peer_r2
    # shellcheck disable=SC2086
    time_of ldblocks "$scripts_ldblocks" $plot -o blocks ours.markers.txt ours.snps.txt
    time_of peer_blocks plink1.9 --bfile peer "${peer_blocks[@]}" --threads "$cores" --out peer_blocks
    # shellcheck disable=SC2086
    time_of ldblocks_1 "${one_core[@]}" "$scripts_ldblocks" $plot -o blocks1 ours.markers.txt ours.snps.txt
    time_of peer_blocks_1 "${one_core[@]}" plink1.9 --bfile peer "${peer_blocks[@]}" --threads 1 --out peer_blocks_1
    # shellcheck disable=SC2086
    time_of cohort_ldblocks "$scripts_ldblocks" $plot -o cohort_blocks cohort.markers.txt cohort.snps.txt
    time_of cohort_peer_blocks plink1.9 --bfile cohort "${peer_blocks[@]}" --threads "$cores" --out cohort_peer_blocks
    # shellcheck disable=SC2086
    time_of cohort_ldblocks_1 "${one_core[@]}" "$scripts_ldblocks" $plot -o cohort_blocks1 cohort.markers.txt \
        cohort.snps.txt
    time_of cohort_peer_blocks_1 "${one_core[@]}" plink1.9 --bfile cohort "${peer_blocks[@]}" --threads 1 \
        --out cohort_peer_blocks_1
    time_of linkstat_T1 "$build/linkstat/linkstat" -P -T1 -Iours.markers.txt -Oours.bounds1.txt
    time_of peer_r2_t1 plink1.9 "${peer_r2[@]}" --threads 1 --out peer_r2_t1
    time_of vcf2markers "$build/vcf2markers/vcf2markers" -H none -o converted "$data/unphased.vcf.gz"
    time_of peer_make_bed plink1.9 --vcf "$data/unphased.vcf.gz" --snps-only just-acgt --biallelic-only strict \
        --maf 0.05 --make-bed --threads "$cores" --out converted_peer
    if [ -x "$build/ldplot/ldplot" ]; then
        time_of ldplot "$build/ldplot/ldplot" -d blocks/bounds.txt -b blocks/blocks.dat -o ld.png
    fi
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
cmp -s ours.bounds.txt ours.bounds1.txt || { echo "linkstat -T$cores and -T1 reports differ" >&2; exit 1; }
cmp -s blocks/report.txt blocks1/report.txt && cmp -s cohort_blocks/report.txt cohort_blocks1/report.txt ||
    { echo "the block pipeline on every core and on one core disagree" >&2; exit 1; }

# ---- figures -----------------------------------------------------------------------------------------

row() {  # row LABEL OURS PEER
    local ours peer
    ours=$(median "$2")
    peer=$(median "$3")
    awk -v l="$1" -v o="$ours" -v p="$peer" 'BEGIN { printf "%-42s %8.2f s %8.2f s %8.2f\n", l, o, p, o / p }'
}
printf '%-42s %10s %10s %8s\n' "median of $runs (wall)" ours peer ratio
row "linkstat -P, $cores threads" linkstat peer_r2
row "ldblocks (text form), $cores threads" ldblocks peer_blocks
row "ldblocks, one core (taskset -c 0)" ldblocks_1 peer_blocks_1
row "$cohort individuals: ldblocks, $cores threads" cohort_ldblocks cohort_peer_blocks
row "$cohort individuals: ldblocks, one core" cohort_ldblocks_1 cohort_peer_blocks_1
row "linkstat -P -T1, --threads 1" linkstat_T1 peer_r2_t1
row "vcf2markers beside --make-bed" vcf2markers peer_make_bed
if [ -f ldplot.times ]; then
    printf '%-42s %8.2f s\n' "ldplot (bounds and blocks)" "$(median ldplot)"
fi
echo "pairs: ours $(wc -l < ours.bounds.txt) lines, peer $(($(wc -l < peer_r2.ld) - 1)) lines;" \
    "blocks: ours $(($(wc -l < blocks/blocks.sorted.dat) - 1)), peer $(($(wc -l < peer_blocks.blocks.det) - 1));" \
    "$cohort individuals: blocks ours $(($(wc -l < cohort_blocks/blocks.sorted.dat) - 1)), peer $(($(wc -l < cohort_peer_blocks.blocks.det) - 1))"
