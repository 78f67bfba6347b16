#!/usr/bin/env bash
# linkstat against the peer (plink1.9 --r2 dprime) at the density of genotyping arrays: SNPs 8 kb apart on
# average over a 60 Mb chromosome, where most pairs are in weak LD and almost every pair has margins of
# its own.
#
#   bench/linkstat/array.sh [runs]      runs: default 3; the median is printed
#
# The data: the biallelic SNPs with minor-allele frequency >= 0.05 of the peer benchmark's VCF
# (shared/data/chr20-vcf/unphased.vcf.gz, chr20 1-4 Mb, 203 individuals), tiled 20 times at positions
# shifted by 3 Mb (tile k's IDs get the suffix _k), each tile thinned to the first SNP of every 8 kb bin.
# The bins of tile k start k * 400 bp later than tile 0's, so that the tiles hold different SNPs: tiles of
# the same SNPs would repeat the same genotype tables, which linkstat evaluates once. About 7,450 SNPs
# and 181,000 pairs less than 200 kb apart. Both tools read the same SNPs: vcf2markers writes linkstat's
# marker file (no further filter), the peer converts the same VCF with --make-bed; the script checks that
# the positions agree. The timing and what it prints: versuspeer.sh.
# Environment: BUILD_DIR (default build/release), CHR20_VCF (the folder of unphased.vcf.gz).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
runs=${1:-3}
case $runs in '' | *[!0-9]* | 0) echo "usage: bench/linkstat/array.sh [runs]" >&2; exit 2 ;; esac
data=${CHR20_VCF:-}
for candidate in "$root/../shared/data/chr20-vcf" "$root/../../shared/data/chr20-vcf"; do
    [ -n "$data" ] || [ ! -f "$candidate/unphased.vcf.gz" ] || data=$candidate
done
[ -n "$data" ] || { echo "array.sh: cannot find shared/data/chr20-vcf (set CHR20_VCF)" >&2; exit 1; }
if ! command -v plink1.9 >/dev/null || ! command -v bcftools >/dev/null; then
    echo "array.sh: plink1.9 or bcftools is missing (scripts/deps.sh bench installs them)" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target linkstat linkstat_boundsstats vcf2markers >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/linkstat-array-XXXXXX")
trap 'rm -rf "$work"' EXIT

bcftools view -v snps -m2 -M2 -q 0.05:minor "$data/unphased.vcf.gz" |
    awk -F'\t' -v OFS='\t' -v tiles=20 -v span=3000000 -v bin=8000 '
        /^#/ { print; next }
        { line[++n] = $0; pos[n] = $2 }
        END {
            for (k = 0; k < tiles; ++k) {
                phase = int(k * bin / tiles); last = -1
                for (i = 1; i <= n; ++i) {
                    b = int((pos[i] + phase) / bin)
                    if (b == last) continue
                    last = b
                    split(line[i], f, "\t")
                    out = line[i]
                    sub(/^[^\t]*\t[^\t]*\t[^\t]*/, f[1] "\t" (f[2] + k * span) "\t" f[3] "_" k, out)
                    print out
                }
            }
        }' > "$work/array.vcf"
"$build/vcf2markers/vcf2markers" -H none -m 0 -o "$work/array" "$work/array.vcf" 2>/dev/null
plink1.9 --vcf "$work/array.vcf" --make-bed --out "$work/array" >/dev/null
if ! cut -f1 "$work/array.markers.txt" | cmp -s - <(cut -f4 "$work/array.bim"); then
    echo "array.sh: the SNPs of our marker file differ from the peer's" >&2
    exit 1
fi

echo "array density: $(wc -l < "$work/array.bim") SNPs over 60 Mb, 203 individuals; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# shellcheck source=bench/linkstat/versuspeer.sh
. "$root/bench/linkstat/versuspeer.sh"
failed=0
versus_peer "$build" "$work" "$work/array.markers.txt" "$work/array" "$runs" || failed=1
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) (median of $runs whole-process runs)"
exit "$failed"
