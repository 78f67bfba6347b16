#!/usr/bin/env bash
# Benchmark of ldtile on these bounds files:
#   (a) the bounds of the chr20 3 Mb region (6,722 SNPs, about 3.07 million pairs),
#   (b) a stress file of 17,370 SNPs with 500 partners each (about 8.6 million pairs),
# and three files made to be hard, whose time and memory must follow the number of records:
#   (c) one row as wide as the file: "0 199991", then the chain "i i+1" for i = 1 .. 199,990;
#   (d) 800,000 records too far apart to be stored, whose second positions interleave between
#       two first SNPs ("0 200000+2k", then "1 200001+2k", k < 400,000);
#   (e) a chain of 100,000 SNPs 200 units apart, every neighbour pair strong: 50,000 blocks of
#       equal span, each found at the left end of what is left.
# For each it prints the best wall time of a whole ldtile run, the best time of reading and
# parsing the file alone (ldtile_parsebench, in a process of its own, alternating with ldtile),
# their ratio, and the peak memory of the ldtile run.
#
#   bench/ldtile/run.sh [BOUNDS_FILE]
#
# Without BOUNDS_FILE, the bounds of (a) are generated at the marker positions of
# bench/data/chr20-3mb/markers.txt.gz by ldtile_boundsgen; pass linkstat's bounds file for that
# region (its four-number records) to measure real bounds instead.
# Environment: RUNS (default 5) repetitions of each measurement; BUILD_DIR (default build/release).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
runs=${RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target ldtile ldtile_boundsgen ldtile_parsebench >/dev/null
ldtile=$build/ldtile/ldtile
generate=$build/bench/ldtile/ldtile_boundsgen
parsebench=$build/bench/ldtile/ldtile_parsebench

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Seconds since the epoch, with nanoseconds.
now() { date +%s.%N; }

# measure NAME FILE WALL_TARGET [hard]
# The parse-only run and the ldtile run alternate, so that both meet the same load. For a hard
# file the time against parsing and the memory per pair mean little: memory is shown per record.
measure() {
    local name=$1 file=$2 target=$3 hard=${4:-}
    local parse records="" pairs snps
    local bestWall="" bestParse="" peak=0 start end wall rss parseSeconds
    for _ in $(seq "$runs"); do
        parse=$("$parsebench" "$file" 1)
        if [ -z "$records" ]; then
            records=$(awk '$1 == "records" {print $2}' <<<"$parse")
            pairs=$(awk '$1 == "stored_pairs" {print $2}' <<<"$parse")
            snps=$(awk '$1 == "snps" {print $2}' <<<"$parse")
        fi
        parseSeconds=$(awk '$1 == "parse_seconds" {print $2}' <<<"$parse")
        if [ -z "$bestParse" ] || awk -v p="$parseSeconds" -v b="$bestParse" 'BEGIN {exit !(p < b)}'; then
            bestParse=$parseSeconds
        fi

        start=$(now)
        if command -v /usr/bin/time >/dev/null 2>&1; then
            /usr/bin/time -f %M -o "$scratch/rss" "$ldtile" -d "$file" -f "$scratch/blocks" -o "$scratch/stats" >/dev/null
            rss=$(tail -n 1 "$scratch/rss")
        else
            "$ldtile" -d "$file" -f "$scratch/blocks" -o "$scratch/stats" >/dev/null
            rss=0
        fi
        end=$(now)
        wall=$(awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}')
        if [ -z "$bestWall" ] || awk -v w="$wall" -v b="$bestWall" 'BEGIN {exit !(w < b)}'; then bestWall=$wall; fi
        [ "$rss" -gt "$peak" ] && peak=$rss
    done

    awk -v name="$name" -v records="$records" -v pairs="$pairs" -v snps="$snps" -v wall="$bestWall" \
        -v parse="$bestParse" -v target="$target" -v peak="$peak" -v runs="$runs" -v hard="$hard" 'BEGIN {
        budget = (40 * pairs) / 1048576 + 4
        printf "%s: %d records, %d stored pairs, %d SNPs\n", name, records, pairs, snps
        printf "  ldtile wall time   %7.3f s   (best of %d; target <= %d s)\n", wall, runs, target
        if (hard == "")
            printf "  parse only         %7.3f s   (best of %d); ldtile / parse = %.2f (target <= 2)\n", parse, runs, wall / parse
        if (peak > 0 && hard == "")
            printf "  peak memory        %7.1f MB  = %.1f bytes per stored pair (budget 40 per pair + 4 MB = %.1f MB)\n",
                   peak / 1024, peak * 1024 / pairs, budget
        else if (peak > 0)
            printf "  peak memory        %7.1f MB  = %.1f bytes per record\n", peak / 1024, peak * 1024 / records
    }'
}

echo "load: $(uptime)"
if [ $# -ge 1 ]; then
    chr=$1
else
    chr=$scratch/chr20-3mb.bounds
    gzip -dc "$root/bench/data/chr20-3mb/markers.txt.gz" >"$scratch/markers.txt"
    "$generate" markers "$scratch/markers.txt" >"$chr"
fi
measure "(a) chr20 3 Mb bounds ($(basename "$chr"))" "$chr" 2
rm -f "$scratch/markers.txt"

"$generate" stress >"$scratch/stress.bounds"
measure "(b) stress file, 17,370 SNPs x 500 partners" "$scratch/stress.bounds" 10

awk 'BEGIN { print 0, 199991, 0.9, 1; for (i = 1; i <= 199990; ++i) print i, i + 1, 0.9, 1 }' >"$scratch/wide.bounds"
measure "(c) one row as wide as the file" "$scratch/wide.bounds" 2 hard
awk 'BEGIN { for (k = 0; k < 400000; ++k) print 0, 200000 + 2 * k, 0.9, 1
             for (k = 0; k < 400000; ++k) print 1, 200001 + 2 * k, 0.9, 1 }' >"$scratch/interleaved.bounds"
measure "(d) far records interleaving between two SNPs" "$scratch/interleaved.bounds" 2 hard
awk 'BEGIN { for (i = 0; i < 100000; ++i) print 200 * i, 200 * (i + 1), 0.9, 1 }' >"$scratch/chain.bounds"
measure "(e) a chain of 50,000 blocks of equal span" "$scratch/chain.bounds" 2 hard
