#!/usr/bin/env bash
# Phasing through the pipeline, against a known phase: the 3 Mb chr20 VCF (300 phased individuals)
# loses its phase ("|" becomes "/"), ldblocks phases it again with shapeit4, and the result is
# compared with the run on the original phase:
#   - the phasing time (and the whole run's);
#   - the switch-error rate of the 50 haplotype individuals (the first 50) on the SNPs of the SNP
#     file: a switch is a heterozygous site whose phase relative to the previous heterozygous site
#     of the same individual differs from the original's;
#   - how far each block's NeedSNP, HapC (common haplotypes) and N_HapC (% of chromosomes they
#     carry) move, and how many blocks keep the same tag SNPs.
# A benchmark, not a test: it prints figures and checks only that the blocks are the same rows.
# Usage: bench/phase/run.sh [build-dir [data-dir]]  (default build/release and ../shared/data/chr20-vcf
#        of the checkout's parent; needs shapeit4 and bcftools: scripts/deps.sh phase)
#        THREADS (default 2): threads of the phaser and linkstat.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/release}
data=${2:-$root/../shared/data/chr20-vcf}
threads=${THREADS:-2}
[ -f "$data/reference.vcf.gz" ] || { echo "run.sh: no $data/reference.vcf.gz (give the data folder)" >&2; exit 1; }
for program in shapeit4 bcftools bgzip python3; do
    command -v "$program" >/dev/null || { echo "run.sh: $program is needed (scripts/deps.sh phase)" >&2; exit 1; }
done
[ -x "$build/linkstat/linkstat" ] || { echo "run.sh: build $build first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/phase-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

bcftools view --no-version "$data/reference.vcf.gz" | sed '/^#/!s/|/\//g' | bgzip > "$work/unphased.vcf.gz"
bcftools index "$work/unphased.vcf.gz"

echo "phasing bench: $(bcftools index -n "$data/reference.vcf.gz") records x $(bcftools query -l "$data/reference.vcf.gz" | wc -l) individuals, $(nproc) processors, $threads threads, load: $(uptime | sed 's/.*load/load/')"
sh "$root/scripts/ldblocks" --no-plot -T "$threads" -e 3 -o "$work/original" "$data/reference.vcf.gz" 2> "$work/original.err"
started=$(date +%s.%N)
sh "$root/scripts/ldblocks" --no-plot -T "$threads" -g "$data/chr20.b37.gmap.gz" -e 3 -o "$work/rephased" \
    "$work/unphased.vcf.gz" 2> "$work/rephased.err"
ended=$(date +%s.%N)
grep '^ldblocks:' "$work/rephased.err"
awk -v a="$started" -v b="$ended" 'BEGIN { printf "whole run with phasing: %.1f s\n", b - a }'
cmp -s "$work/original/bounds.txt" "$work/rephased/bounds.txt" ||
    { echo "run.sh: the bounds differ between the original and the unphased input" >&2; exit 1; }

python3 - "$work/original" "$work/rephased" <<'PY'
import sys

original, rephased = sys.argv[1:]


def snp_rows(folder):
    rows = []
    with open(folder + "/snps.txt") as f:
        for line in f:
            position, _, _, alleles = line.split()
            rows.append((position, alleles))
    return rows


def switch_errors(a_rows, b_rows):
    if [p for p, _ in a_rows] != [p for p, _ in b_rows]:
        sys.exit("run.sh: the SNP files hold other positions")
    switches = comparisons = 0
    for person in range(50):
        previous = None
        for (_, a), (_, b) in zip(a_rows, b_rows):
            x, y = a[2 * person:2 * person + 2], b[2 * person:2 * person + 2]
            if sorted(x) != sorted(y):
                sys.exit("run.sh: the phased copy changed a genotype")
            if x[0] == x[1]:
                continue
            same = x == y
            if previous is not None:
                comparisons += 1
                switches += same != previous
            previous = same
    return switches, comparisons


def report(folder):
    blocks = {}
    with open(folder + "/report.txt") as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 8 and fields[0].isdigit():
                blocks[tuple(fields[:3])] = (int(fields[5]), int(fields[6]), int(fields[7]))
    return blocks


def tags(folder):
    with open(folder + "/tags.txt") as f:
        return {tuple(line.split()[:2]): line.split()[4] for line in list(f)[1:]}


switches, comparisons = switch_errors(snp_rows(original), snp_rows(rephased))
print(f"switch errors of the 50 haplotype individuals: {switches} of {comparisons} "
      f"consecutive heterozygous pairs ({100 * switches / comparisons:.2f} %)")
a, b = report(original), report(rephased)
if list(a) != list(b):
    sys.exit("run.sh: the reports' blocks differ")
print(f"blocks: {len(a)} (the same rows)")
for index, name in ((0, "HapC"), (1, "N_HapC"), (2, "NeedSNP")):
    moves = [b[key][index] - a[key][index] for key in a]
    same = sum(move == 0 for move in moves)
    print(f"{name:8s} same in {same} of {len(moves)} blocks ({100 * same / len(moves):.1f} %); "
          f"mean |change| {sum(abs(m) for m in moves) / len(moves):.2f}, largest {max(moves, key=abs):+d}; "
          f"mean {sum(v[index] for v in a.values()) / len(a):.2f} -> {sum(v[index] for v in b.values()) / len(b):.2f}")
ta, tb = tags(original), tags(rephased)
same = sum(ta[key] == tb.get(key) for key in ta)
print(f"tag SNPs  same in {same} of {len(ta)} blocks ({100 * same / len(ta):.1f} %)")
PY
