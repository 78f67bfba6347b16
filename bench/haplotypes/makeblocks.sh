#!/usr/bin/env bash
# Writes a sorted block file for a SNP file (one SNP a line): blocks of consecutive SNPs
# whose lengths and the gaps between them follow fixed cycles, so that the output is the
# same on every machine. It stands in for the block finder's output when only the
# analyser's own input is at hand.
#
# usage: makeblocks.sh snps.txt > blocks.txt     (a .gz file is unpacked on the fly)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 snpfile" >&2; exit 2; }
case "$1" in
    *.gz) reader=(gzip -dc "$1") ;;
    *) reader=(cat "$1") ;;
esac
"${reader[@]}" | awk '
BEGIN {
    split("6 14 3 1 22 9 4 35 2 11 7 18 5 27 64", lengths, " "); nlengths = 15
    split("0 2 1 0 4 1 0 3 0 6", gaps, " "); ngaps = 10
}
NF >= 4 { position[n++] = $1 }
END {
    printf "SNP1\tindex\tSNP2\tindex\n"
    b = 0; i = gaps[1]
    while (i < n) {
        last = i + lengths[b % nlengths + 1] - 1
        if (last >= n) last = n - 1
        printf "%s\t%d\t%s\t%d\n", position[i], i, position[last], last
        b++
        i = last + 1 + gaps[b % ngaps + 1]
    }
}'
