#!/usr/bin/env bash
# linkstat against the peer (plink1.9 --r2 dprime) on a synthetic cohort of N individuals, each made of two
# different chromosomes drawn (fixed seed) from the 600 phased chromosomes of the chr20 3 Mb region,
# positions 1,000,000-1,999,999 (1,963 SNPs, about 766,000 pairs less than 200,000 apart).
#
#   bench/linkstat/cohort.sh N [runs]      runs: default 3; the median is printed
#
# Both tools read the same genotypes: linkstat its marker file, the peer the binary files that
# `plink1.9 --file ... --make-bed` makes of the .ped/.map (outside the timing). The timing and what it
# prints: versuspeer.sh.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/linkstat-cohort-XXXXXX")
trap 'rm -rf "$work"' EXIT
case $markers in
    *.gz) gzip -dc "$markers" > "$work/source.txt" ;;
    *) cp "$markers" "$work/source.txt" ;;
esac
"$build/bench/linkstat/linkstat_cohortgen" "$n" "$work/source.txt" "$work/cohort" 2>/dev/null
plink1.9 --file "$work/cohort" --make-bed --out "$work/cohort" >/dev/null

echo "cohort: $n individuals, $(wc -l < "$work/cohort.map") SNPs; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# shellcheck source=bench/linkstat/versuspeer.sh
. "$root/bench/linkstat/versuspeer.sh"
failed=0
versus_peer "$build" "$work" "$work/cohort.markers.txt" "$work/cohort" "$runs" || failed=1
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg) (median of $runs whole-process runs)"
exit "$failed"
