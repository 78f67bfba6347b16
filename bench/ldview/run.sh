#!/usr/bin/env bash
# Benchmark of ldview at chromosome scale (not a test): a synthetic 60 Mb chromosome, the chr20
# 3 Mb benchmark region tiled 20 times at shifted positions (tile k moved by k x 3,000,000, its
# IDs suffixed _k): about 134,000 SNPs and 63 million pairs. linkstat computes the bounds of the
# tiled markers, ldtile the blocks, haplotypes the tag SNPs; the bounds are stored in the indexed
# form (bounds.tsv.gz, BGZF with a tabix index). Then ldview writes the view, and headless
# Chromium (Selenium) opens it at 1600x900.
#
#   bench/ldview/run.sh
#
# Prints the build time and peak memory of ldview, the folder's bytes a pair, the first picture's
# time, and the slowest frame per power-of-two zoom. Targets: 60 s, 2.5 bytes a pair, 2 s, 50 ms.
# The times only mean something on a machine that is not busy: the load average is printed.
# Environment: BUILD_DIR (default build/release); WORK (a folder to keep the inputs in between
# runs; default a scratch folder, removed at the end; it needs about 2.5 GB).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
vcf=$root/../shared/data/chr20-vcf/reference.vcf.gz
[ -f "$vcf" ] || vcf=/work/shared/data/chr20-vcf/reference.vcf.gz
gmap=$(dirname "$vcf")/chr20.b37.gmap.gz
for tool in /usr/bin/time bgzip tabix; do
    command -v "$tool" >/dev/null || { echo "bench/ldview/run.sh: needs $tool" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target linkstat ldtile sortblocks haplotypes ldview >/dev/null

if [ -n "${WORK:-}" ]; then
    work=$WORK
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/ldview-bench-XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

if [ ! -f "$work/bounds.tsv.gz.tbi" ]; then
    data=$root/bench/data/chr20-3mb
    tile() {  # tile FILE.gz: the file 20 times, positions moved by k x 3,000,000
        for k in $(seq 0 19); do
            gzip -dc "$1" | awk -v shift=$((k * 3000000)) 'NF >= 4 { $1 += shift } { print }'
        done
    }
    tile "$data/markers.txt.gz" >"$work/markers.txt"
    tile "$data/snps.txt.gz" >"$work/snps.txt"
    # IDs of the region's SNPs from the VCF (biallelic SNPs at the markers' positions), tile k's
    # with the suffix _k.
    gzip -dc "$vcf" | awk -v markers=<(gzip -dc "$data/markers.txt.gz") '
        BEGIN { while ((getline line < markers) > 0) { split(line, w, " "); want[w[1]] = 1 } }
        /^#/ || !($2 in want) || length($4) != 1 || length($5) != 1 || ($2 in seen) { next }
        { seen[$2] = 1; n++; pos[n] = $2; id[n] = $3; ref[n] = $4; alt[n] = $5 }
        END { for (k = 0; k < 20; k++) for (i = 1; i <= n; i++)
                  print pos[i] + k * 3000000, (id[i] == "." ? "." : id[i] "_" k), ref[i], alt[i] }' >"$work/ids.txt"
    echo "computing the bounds of $(wc -l <"$work/markers.txt") tiled SNPs (linkstat -D, 2 threads) ..."
    "$build/linkstat/linkstat" -D -T2 -I"$work/markers.txt" -O"$work/bounds.txt"
    "$build/ldtile/ldtile" -d "$work/bounds.txt" -f "$work/blocks.dat" -o "$work/plot.dat" >/dev/null
    "$build/sortblocks/sortblocks" -o "$work/blocks.sorted.dat" "$work/blocks.dat"
    "$build/Haplotypes/haplotypes" -s "$work/snps.txt" -b "$work/blocks.sorted.dat" -t "$work/tags.txt" >/dev/null
    { printf '#chrom\tpos1\tpos2\tlower\tupper\n'; awk 'BEGIN { OFS = "\t" } { print "20", $1, $2, $3, $4 }' "$work/bounds.txt"; } |
        bgzip -@2 -c >"$work/bounds.tsv.gz"
    tabix -s1 -b2 -e3 "$work/bounds.tsv.gz"
    rm -f "$work/bounds.txt"
fi

records=$(gzip -dc "$work/bounds.tsv.gz" | tail -n +2 | wc -l)
snps=$(wc -l <"$work/ids.txt")
echo "input: $snps SNPs, $records pairs, $(($(wc -l <"$work/blocks.dat") - 1)) blocks; bounds.tsv.gz $(du -m "$work/bounds.tsv.gz" | cut -f1) MB"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) processors)"

rm -rf "$work/view"
/usr/bin/time -f '%e %M' -o "$work/time" "$build/ldview/ldview" -d "$work/bounds.tsv.gz" -b "$work/blocks.dat" \
    -t "$work/tags.txt" -i "$work/ids.txt" -m "$gmap" -o "$work/view"
read -r wall rss <"$work/time"
bytes=$(du -sb "$work/view" | cut -f1)
awk -v wall="$wall" -v rss="$rss" -v bytes="$bytes" -v records="$records" 'BEGIN {
    printf "build: %.1f s wall (target <= 60 s), peak memory %.0f MB\n", wall, rss / 1024
    printf "folder: %.1f MB, %.2f bytes a pair (target <= 2.5)\n", bytes / 1e6, bytes / records
}'
/usr/bin/python3 "$root/bench/ldview/measure.py" "$work/view"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
