#!/usr/bin/env bash
# linkstat against the peer (plink1.9 --r2 dprime) on a synthetic cohort of N individuals, each made of two
# different chromosomes drawn (fixed seed) from the 600 phased chromosomes of the chr20 3 Mb region,
# positions 1,000,000-1,999,999 (1,963 SNPs, about 766,000 pairs less than 200,000 apart).
#
#   bench/linkstat/cohort.sh N [runs]      runs: default 3; the median is printed
#
# Both tools read the same genotypes: linkstat its marker file, the peer the binary files that
# `plink1.9 --file ... --make-bed` makes of the .ped/.map (outside the timing). Times are whole processes
# (wall clock), taken in alternation: linkstat -P (with -T1 once linkstat has that option) against
# `plink1.9 --bfile ... --r2 dprime --ld-window 99999 --ld-window-kb 200 --ld-window-r2 0 --threads 1`,
# then both with every processor. Also printed: linkstat's peak memory and how many genotype tables
# needed the exact evaluation of their bounds (linkstat_boundsstats, untimed).
# Environment: BUILD_DIR (default build/release), MARKERS (default bench/data/chr20-3mb/markers.txt.gz).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
n=${1:?usage: bench/linkstat/cohort.sh N [runs]}
runs=${2:-3}
markers=${MARKERS:-$root/bench/data/chr20-3mb/markers.txt.gz}
if ! command -v plink1.9 >/dev/null; then
    echo "cohort.sh: plink1.9 is missing (scripts/deps.sh bench installs it)" >&2
    exit 2
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target linkstat linkstat_cohortgen linkstat_boundsstats >/dev/null
linkstat=$build/linkstat/linkstat

work=$(mktemp -d "${TMPDIR:-/tmp}/linkstat-cohort-XXXXXX")
trap 'rm -rf "$work"' EXIT
case $markers in
    *.gz) gzip -dc "$markers" > "$work/source.txt" ;;
    *) cp "$markers" "$work/source.txt" ;;
esac
"$build/bench/linkstat/linkstat_cohortgen" "$n" "$work/source.txt" "$work/cohort" 2>/dev/null
plink1.9 --file "$work/cohort" --make-bed --out "$work/cohort" >/dev/null

single=()
if grep -Eq '^\.BI? \\-T' "$root/linkstat/linkstat.1"; then single=(-T1); fi
ours=("$linkstat" -P "-I$work/cohort.markers.txt" "-O$work/bounds.txt")
peer=(plink1.9 --bfile "$work/cohort" --r2 dprime --ld-window 99999 --ld-window-kb 200 --ld-window-r2 0
      --out "$work/peer")

# Runs a command, appends its wall seconds to the file $1 and its peak memory (KB) to $1.rss.
timed() {
    local into=$1; shift
    local t0 t1
    t0=$(date +%s.%N)
    if ! /usr/bin/time -f %M -o "$into.last" "$@" >/dev/null 2>"$work/stderr"; then
        echo "cohort.sh: $1 failed: $(grep -v '^Command exited' "$work/stderr" | tr -s '\n' ' ')" >&2
        return 1
    fi
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }' >> "$into"
    tail -n 1 "$into.last" >> "$into.rss"
}
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -n "$1.rss" | tail -n 1; }

echo "cohort: $n individuals, $(wc -l < "$work/cohort.map") SNPs; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
failed=0
for run in $(seq "$runs"); do
    [ "$failed" = 1 ] || timed "$work/ours1" "${ours[@]}" "${single[@]}" || failed=1
    timed "$work/peer1" "${peer[@]}" --threads 1
done
for run in $(seq "$runs"); do
    [ "$failed" = 1 ] || timed "$work/oursN" "${ours[@]}" || failed=1
    timed "$work/peerN" "${peer[@]}"
done
[ "$failed" = 1 ] || echo "pairs: $(grep -vc ' 0 0 0 0 0 0 0 0 0 1$' "$work/bounds.txt") (linkstat), $(($(wc -l < "$work/peer.ld") - 1)) (peer)"

report() {  # label, our times, peer times
    if [ "$failed" = 1 ]; then
        printf '%-13s linkstat -, peer %.2f s\n' "$1" "$(median "$3")"
    else
        awk -v l="$1" -v o="$(median "$2")" -v p="$(median "$3")" -v m="$(peak "$2")" 'BEGIN {
            printf "%-13s linkstat %.2f s (peak %.1f MB), peer %.2f s, ratio %.2f\n", l, o, m / 1024, p, o / p }'
    fi
}
report "one thread:" "$work/ours1" "$work/peer1"
report "all cores:" "$work/oursN" "$work/peerN"
if [ "$failed" = 0 ]; then
    "$build/bench/linkstat/linkstat_boundsstats" -P "-I$work/cohort.markers.txt" "-O$work/bounds.txt" 2>&1 |
        sed 's/^kernel \([a-z0-9]*\): /bounds (\1 kernel): /'
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) (median of $runs whole-process runs)"
exit "$failed"
