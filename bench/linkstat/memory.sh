#!/usr/bin/env bash
# Peak memory and wall time of linkstat on a generated cohort: INDIVIDUALS x SNPS random genotypes
# (default 10,000 x 6,700), a random allele frequency per SNP, 1% missing alleles, SNPs 450 positions
# apart (about 444 partners each inside the 200,000 window, as in the chr20 3 Mb region).
#
#   bench/linkstat/memory.sh [INDIVIDUALS] [SNPS] [linkstat options...]   default options: -P
set -euo pipefail
cd "$(dirname "$0")/../.."

individuals=${1:-10000}
snps=${2:-6700}
shift $(( $# < 2 ? $# : 2 ))
options=("$@")
[ ${#options[@]} -gt 0 ] || options=(-P)

build=build/release
if [ ! -x $build/linkstat/linkstat ]; then
    cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build $build -j2 --target linkstat >/dev/null
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A pool of 64 random allele strings per frequency class, combined per SNP by chunks: fast to make,
# and different for every SNP pair.
awk -v n="$individuals" -v m="$snps" 'BEGIN {
    srand(20240611)
    chunk = 250
    for (f = 0; f < 9; f++) for (c = 0; c < 64; c++) {
        p = 0.05 + 0.1 * f; s = ""
        for (k = 0; k < 2 * chunk; k++) s = s (rand() < 0.01 ? "-" : rand() < p ? "A" : "G")
        pool[f, c] = s
    }
    chunks = int((n + chunk - 1) / chunk)
    for (i = 0; i < m; i++) {
        f = int(rand() * 9); line = ""
        for (c = 0; c < chunks; c++) line = line pool[f, int(rand() * 64)]
        printf "%d\t%d\t1\t%s\n", 1000000 + 450 * i, 2 * n, substr(line, 1, 2 * n)
    }
}' > "$scratch/markers.txt"

echo "cohort: $individuals individuals x $snps SNPs, $(du -m "$scratch/markers.txt" | cut -f1) MB marker file"
/usr/bin/time -v $build/linkstat/linkstat "${options[@]}" -I"$scratch/markers.txt" -O"$scratch/bounds.txt" \
    2> "$scratch/time"
awk -F': ' '/Elapsed \(wall clock\)/ { wall = $2 } /Maximum resident set size/ { kb = $2 }
    END { printf "linkstat %s: %s wall, peak memory %.1f MB\n", "'"${options[*]}"'", wall, kb / 1024 }' "$scratch/time"
echo "report: $(wc -l < "$scratch/bounds.txt") lines"
