#!/usr/bin/env bash
# Benchmark of a whole chromosome through the workflow (not a test): a synthetic 60 Mb chromosome,
# the chr20 3 Mb benchmark VCF tiled 20 times at shifted positions (tile k moved by k x 3,000,000,
# its IDs suffixed _k): about 134,000 SNPs and 60 million pairs at MAF >= 0.05. The workflow runs
# on it with --cores 2; then ldquery answers for one SNP and ldplot draws a 1 Mb region.
#
#   bench/genome/run.sh
#
# Prints the wall time of the whole run and of each step, the peak memory of each job (from the
# workflow's benchmark files), the disk used by each output, the stored bounds' bytes a pair, and
# the times of ldquery and of ldplot -r. Goals on a 2-core machine: the chromosome in 5 minutes,
# no job above 2 GB, at most 6 bytes a pair, ldquery under 0.2 s. The times only mean something on
# a machine that is not busy: the load average is printed.
# Environment: BUILD_DIR (default build/release); WORK (a folder to keep the inputs and results in
# between runs: a second run reuses the tiled VCF, and the workflow then has nothing to do, so its
# figures are those of the first run, kept in WORK; default a scratch folder, removed at the end;
# it needs about 1 GB).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
vcf=$root/../shared/data/chr20-vcf/reference.vcf.gz
[ -f "$vcf" ] || vcf=/work/shared/data/chr20-vcf/reference.vcf.gz
for tool in /usr/bin/time bgzip tabix snakemake python3; do
    command -v "$tool" >/dev/null || { echo "bench/genome/run.sh: needs $tool" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target vcf2markers linkstat ldtile haplotypes sortblocks packbounds ldplot ldquery >/dev/null

if [ -n "${WORK:-}" ]; then
    work=$WORK
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/genome-bench-XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
work=$(cd "$work" && pwd)

# ---- the tiled chromosome ------------------------------------------------------------------------

if [ ! -f "$work/genome.vcf.gz.tbi" ]; then
    {
        gzip -dc "$vcf" | awk '/^#/ { print }'
        for k in $(seq 0 19); do
            gzip -dc "$vcf" | awk -v k="$k" -v shift=$((k * 3000000)) 'BEGIN { FS = OFS = "\t" }
                /^#/ { next }
                { $2 += shift; if ($3 != ".") $3 = $3 "_" k; print }'
        done
    } | bgzip -@ 2 >"$work/genome.vcf.gz.partial"
    mv "$work/genome.vcf.gz.partial" "$work/genome.vcf.gz"
    tabix -f -p vcf "$work/genome.vcf.gz"
fi

# ---- the workflow --------------------------------------------------------------------------------

cat >"$work/config.yaml" <<CONFIG
vcf: $work/genome.vcf.gz
chromosomes: all
samples: ""
hap_samples: ""
maf: 0.05
known_every: ""
known_positions: ""
chunk_length: 5000000
outdir: $work/out
linkstat_threads: 2
bindir: $build
CONFIG

echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ ! -f "$work/workflow.time" ]; then
    /usr/bin/time -f '%e %M' -o "$work/workflow.time.partial" \
        snakemake -s "$root/workflow/Snakefile" --configfile "$work/config.yaml" -d "$work" --cores 2 -q \
        >"$work/workflow.log" 2>&1 || { tail -n 30 "$work/workflow.log" >&2; exit 1; }
    mv "$work/workflow.time.partial" "$work/workflow.time"
fi
read -r wall _ <"$work/workflow.time"
out=$work/out/20
records=$(cat "$out/bounds.records")
snps=$(wc -l <"$out/ids.txt")
printf 'chromosome: %d SNPs, %d pairs; workflow wall time %.1f s (--cores 2)\n' "$snps" "$records" "$wall"

# ---- steps and jobs, from the workflow's benchmark files --------------------------------------------

python3 - "$work/out/benchmarks/20" <<'PY'
import collections, csv, os, sys
folder = sys.argv[1]
steps = collections.OrderedDict()
for name in sorted(os.listdir(folder)):
    step = name.split(".")[0]
    with open(os.path.join(folder, name)) as f:
        for row in csv.DictReader(f, delimiter="\t"):
            entry = steps.setdefault(step, {"jobs": 0, "seconds": 0.0, "longest": 0.0, "rss": 0.0})
            entry["jobs"] += 1
            entry["seconds"] += float(row["s"])
            entry["longest"] = max(entry["longest"], float(row["s"]))
            rss = row["max_rss"]
            entry["rss"] = max(entry["rss"], float(rss) if rss not in ("", "-", "NA") else 0.0)
print(f"{'step':<12} {'jobs':>4} {'seconds':>9} {'longest job':>12} {'peak MB a job':>14}")
for step, e in steps.items():
    print(f"{step:<12} {e['jobs']:>4} {e['seconds']:>9.1f} {e['longest']:>12.1f} {e['rss']:>14.0f}")
PY

# ---- disk ----------------------------------------------------------------------------------------

echo "disk per output (bytes):"
for name in bounds.tsv.gz bounds.tsv.gz.tbi ids.txt snps.txt blocks.dat blocks.bed report.txt tags.txt \
    tags.ids.txt tags.list ld.png; do
    [ -e "$out/$name" ] && printf '  %-18s %12d\n' "$name" "$(stat -c %s "$out/$name")"
done
awk -v size="$(stat -c %s "$out/bounds.tsv.gz")" -v records="$records" \
    'BEGIN { printf "stored bounds: %.2f bytes a pair (index excluded)\n", size / records }'

# ---- queries -------------------------------------------------------------------------------------

# A SNP in the middle of the chromosome, by its ID.
snp=$(awk -v middle=$((snps / 2)) 'NR == middle { print $2; exit }' "$out/ids.txt")
# Wall time, and the processor time (user + system), which a busy machine does not inflate.
for run in 1 2 3; do
    /usr/bin/time -f '%e %U %S %M' -o "$work/ldquery.time" \
        "$build/ldquery/ldquery" -d "$out/bounds.tsv.gz" -i "$out/ids.txt" -b "$out/blocks.dat" "$snp" \
        >"$work/ldquery.out"
    read -r seconds user system kb <"$work/ldquery.time"
    printf 'ldquery %s (run %d): %s s (processor %s s), %d partners, peak %d MB\n' "$snp" "$run" "$seconds" \
        "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" $(($(wc -l <"$work/ldquery.out") - 1)) \
        $((kb / 1024))
done
for run in 1 2; do
    /usr/bin/time -f '%e %U %S %M' -o "$work/ldplot.time" \
        "$build/ldplot/ldplot" -d "$out/bounds.tsv.gz" -b "$out/blocks.dat" -r 30000000-31000000 \
        -o "$work/region.png" 2>/dev/null
    read -r seconds user system kb <"$work/ldplot.time"
    printf 'ldplot -r 30000000-31000000 (run %d): %s s (processor %s s), peak %d MB\n' "$run" "$seconds" \
        "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" $((kb / 1024))
done
