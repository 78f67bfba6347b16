#!/usr/bin/env bash
# Regenerates every golden file the tests compare against, with the programs of build/release
# (built first), and prints the differences from the committed files. Only with --accept are the
# committed files replaced. For a change that is meant to change output: run it, read the diff,
# accept, and commit the files with the change. CI never runs it.
#   scripts/regolden.sh [--accept]
#
#   examples/chr20/markers.txt, snps.txt, known.txt   vcf2markers -e 3 examples/chr20/chr20.vcf.gz
#   linkstat/tests/data/chr20-bounds.txt.gz           linkstat's pair-by-pair loop (linkstat_reference
#                                                     -P) over markers.txt, gzip -9n
#   Haplotypes/tests/data/chr20-report.txt            haplotypes over snps.txt, known.txt and
#                                                     Haplotypes/tests/data/chr20-blocks.txt
#   tests/pipeline/golden/chr20-report.txt            ldblocks over markers.txt and snps.txt
#   tests/pipeline/golden/chr20-known-report.txt      the same with -k known.txt
# Each step reads the files the earlier steps made, so accepted files agree with each other.
# Not regenerated: linkstat/tests/data/tables.tsv and phased.tsv (computed independently of the
# programs, which they check), and Haplotypes/tests/data/chr20-blocks.txt (an input, made by
# bench/haplotypes/makeblocks.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

accept=no
case ${1:-} in
    "") ;;
    --accept) accept=yes ;;
    *) echo "usage: scripts/regolden.sh [--accept]" >&2; exit 2 ;;
esac

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" \
    --target vcf2markers linkstat linkstat_reference ldtile haplotypes >/dev/null

new=$(mktemp -d "${TMPDIR:-/tmp}/regolden-XXXXXX")
trap 'rm -rf -- "$new"' EXIT
mkdir -p "$new/examples/chr20" "$new/linkstat/tests/data" "$new/Haplotypes/tests/data" "$new/tests/pipeline/golden"
example=$new/examples/chr20

"$build/vcf2markers/vcf2markers" -e 3 -o "$new/chr20" examples/chr20/chr20.vcf.gz 2>/dev/null
for name in markers snps known; do mv -- "$new/chr20.$name.txt" "$example/$name.txt"; done

"$build/linkstat/tests/linkstat_reference" -P "-I$example/markers.txt" "-O$new/bounds.txt"
gzip -9n < "$new/bounds.txt" > "$new/linkstat/tests/data/chr20-bounds.txt.gz"

"$build/Haplotypes/haplotypes" -s "$example/snps.txt" -b Haplotypes/tests/data/chr20-blocks.txt \
    -k "$example/known.txt" > "$new/Haplotypes/tests/data/chr20-report.txt"

scripts/ldblocks --no-plot -o "$new/run" "$example/markers.txt" "$example/snps.txt" >/dev/null
cp -- "$new/run/report.txt" "$new/tests/pipeline/golden/chr20-report.txt"
scripts/ldblocks --no-plot -k "$example/known.txt" -o "$new/run" "$example/markers.txt" "$example/snps.txt" >/dev/null
cp -- "$new/run/report.txt" "$new/tests/pipeline/golden/chr20-known-report.txt"

# The text of a golden file (a .gz file unpacked).
text() {
    case $1 in
        *.gz) gzip -dc -- "$1" ;;
        *) cat -- "$1" ;;
    esac
}

changed=()
for file in examples/chr20/markers.txt examples/chr20/snps.txt examples/chr20/known.txt \
    linkstat/tests/data/chr20-bounds.txt.gz Haplotypes/tests/data/chr20-report.txt \
    tests/pipeline/golden/chr20-report.txt tests/pipeline/golden/chr20-known-report.txt; do
    if cmp -s <(text "$file") <(text "$new/$file"); then
        echo "unchanged: $file"
        continue
    fi
    changed+=("$file")
    echo "changed: $file"
    # A long diff is cut after 100 lines; the whole one: diff the files that --accept writes.
    diff -u --label "$file (committed)" --label "$file (regenerated)" <(text "$file") <(text "$new/$file") |
        awk 'NR <= 100 { print } END { if (NR > 100) print "... " NR - 100 " more lines of diff" }' || true
done

if [ ${#changed[@]} -eq 0 ]; then
    echo "regolden: every golden file is as the programs make it"
elif [ "$accept" = yes ]; then
    for file in "${changed[@]}"; do cp -- "$new/$file" "$file"; done
    echo "regolden: replaced ${#changed[@]} file(s); commit them with the change that explains them"
else
    echo "regolden: ${#changed[@]} file(s) differ; scripts/regolden.sh --accept replaces them"
fi
