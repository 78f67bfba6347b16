#!/usr/bin/env bash
# Benchmark of ldplot: the chr20 3 Mb region (6,722 SNPs, 3.07 million pairs less than 200,000
# apart) drawn to a 1600-pixel-wide PNG from the real bounds of linkstat, with the blocks of
# ldtile. Targets: at most 1 s and at most 100 MB, and at most twice the time of reading and
# parsing the same bounds alone (ldtile_parsebench in a process of its own, alternating with
# ldplot so that both meet the same load; best of the runs each).
#
#   bench/ldplot/run.sh [MAP]
#
# With MAP (a genetic map, pos chr cM, gzip or plain) a second measurement adds the
# recombination-rate track. The bounds also go through a pipe once (read as /dev/stdin).
# For each case it prints the best wall time and the largest peak memory (/usr/bin/time) of RUNS
# runs, and the machine's load before and after: the times only mean something on a
# machine that is not busy with other work.
# Environment: RUNS (default 5); BUILD_DIR (default build/release); MARKERS (default the
# region's marker file in bench/data/chr20-3mb).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
runs=${RUNS:-5}
map=${1:-}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target linkstat ldtile ldplot ldtile_parsebench >/dev/null
ldplot=$build/ldplot/ldplot
parsebench=$build/bench/ldtile/ldtile_parsebench
[ -x /usr/bin/time ] || { echo "bench/ldplot/run.sh: needs /usr/bin/time (Debian package time)" >&2; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ldplot-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

if [ -n "${MARKERS:-}" ]; then
    markers=$MARKERS
else
    markers=$scratch/markers.txt
    gzip -dc "$root/bench/data/chr20-3mb/markers.txt.gz" >"$markers"
fi
"$build/linkstat/linkstat" -D -I "$markers" -O "$scratch/bounds.txt"
# ldtile prints the index of the last SNP after the echo of its options.
snps=$("$build/ldtile/ldtile" -d "$scratch/bounds.txt" -f "$scratch/blocks.dat" -o "$scratch/stats.dat" |
    awk '/^[0-9]+$/ { print $1 + 1; exit }')
records=$(wc -l <"$scratch/bounds.txt")
blocks=$(($(wc -l <"$scratch/blocks.dat") - 1))
echo "input: $records records, $snps SNPs, $blocks blocks ($(du -h "$scratch/bounds.txt" | cut -f1) of bounds)"

# measure NAME COMMAND...: best wall time and largest peak memory of the runs; with PARSE set to a
# bounds file, also the best parse-only time of that file, one run before each of the command's.
measure() {
    local name=$1
    shift
    local best="" peak=0 wall rss parse="" seconds start end
    local before
    before=$(cut -d' ' -f1-3 /proc/loadavg)
    for _ in $(seq "$runs"); do
        if [ -n "${PARSE:-}" ]; then
            seconds=$("$parsebench" "$PARSE" 1 | awk '$1 == "parse_seconds" {print $2}')
            if [ -z "$parse" ] || awk -v p="$seconds" -v b="$parse" 'BEGIN { exit !(p < b) }'; then parse=$seconds; fi
        fi
        start=$(date +%s.%N)
        /usr/bin/time -f '%M' -o "$scratch/time" "$@"
        end=$(date +%s.%N)
        wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
        rss=$(tail -n 1 "$scratch/time")
        if [ -z "$best" ] || awk -v w="$wall" -v b="$best" 'BEGIN { exit !(w < b) }'; then best=$wall; fi
        [ "$rss" -gt "$peak" ] && peak=$rss
    done
    awk -v name="$name" -v wall="$best" -v peak="$peak" -v runs="$runs" -v before="$before" \
        -v parse="$parse" -v after="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
        printf "%s\n", name
        printf "  wall time    %6.3f s    (best of %d; target <= 1 s)\n", wall, runs
        printf "  peak memory  %6.1f MB   (largest of %d; target <= 100 MB)\n", peak / 1024, runs
        if (parse != "")
            printf "  parse only   %6.3f s    (best of %d); ldplot / parse = %.2f (target <= 2)\n", parse, runs, wall / parse
        printf "  load average %s before, %s after (%d processors)\n", before, after, '"$(nproc)"'
    }'
}

out=$scratch/ld.png
PARSE=$scratch/bounds.txt measure "ldplot -d bounds.txt -b blocks.dat -o ld.png (1600 pixels wide)" \
    "$ldplot" -d "$scratch/bounds.txt" -b "$scratch/blocks.dat" -o "$out"
echo "  picture      $(du -k "$out" | cut -f1) KB"
measure "the same, bounds read from a pipe" \
    sh -c 'cat "$4" | "$1" -d /dev/stdin -b "$2" -o "$3"' sh "$ldplot" "$scratch/blocks.dat" "$out" "$scratch/bounds.txt"
if [ -n "$map" ]; then
    measure "the same with the recombination-rate track (-m $(basename "$map"))" \
        "$ldplot" -d "$scratch/bounds.txt" -b "$scratch/blocks.dat" -m "$map" -o "$out"
fi
