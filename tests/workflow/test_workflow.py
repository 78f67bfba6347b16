"""Tests of the whole-genome workflow (workflow/Snakefile) on the bundled chr20 region.

The workflow runs with the programs of the build tree under test (bindir), in scratch folders.
Every result is compared with one run of the programs over the whole chromosome, made here.

    test_workflow.py [TestClass ...]     (environment: LDTOOLS_SOURCE_DIR, LDTOOLS_BINARY_DIR,
                                          optionally LDTOOLS_LDPLOT and LDTOOLS_LDVIEW when
                                          ldplot and ldview are built)
Exit status 77 (skipped) when snakemake is not installed.
"""

import contextlib
import filecmp
import gzip
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ.get("LDTOOLS_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BINARY = os.environ.get("LDTOOLS_BINARY_DIR", os.path.join(SOURCE, "build", "release"))
EXAMPLE = os.path.join(SOURCE, "examples", "chr20", "chr20.vcf.gz")
SNAKEFILE = os.path.join(SOURCE, "workflow", "Snakefile")
SUBMIT = os.path.join(SOURCE, "tests", "workflow", "localsubmit.sh")

sys.path.insert(0, os.path.join(SOURCE, "workflow"))
import ldworkflow  # noqa: E402


def program(name):
    return os.path.join(BINARY, ldworkflow.PROGRAMS[name], name)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# ---- test data ----------------------------------------------------------------------------------

def example_lines():
    with gzip.open(EXAMPLE, "rt") as f:
        return f.read().splitlines()


def write_indexed_vcf(path, lines):
    """Writes a bgzipped VCF and its tabix index."""
    with open(path, "wb") as out:
        subprocess.run(["bgzip", "-c"], input=("\n".join(lines) + "\n").encode(), stdout=out, check=True)
    subprocess.run(["tabix", "-f", "-p", "vcf", path], check=True)


def recast(lines, chrom, shift, contig_line, first=0, last=1 << 31):
    """The example's records from first to last, moved down by shift onto chromosome chrom."""
    out = []
    for line in lines:
        if line.startswith("##contig="):
            out.append(contig_line)
        elif line.startswith("#"):
            out.append(line)
        else:
            fields = line.split("\t", 2)
            if first <= int(fields[1]) <= last:
                out.append(f"{chrom}\t{int(fields[1]) - shift}\t{fields[2]}")
    return out


def make_unphased(lines):
    """Turns the first haplotype individual's phased heterozygote at a common SNP into 0/1
    (vcf2markers refuses it for the SNP file). Returns the lines and the position."""
    for i, line in enumerate(lines):
        fields = line.split("\t")
        if line.startswith("#") or len(fields[3]) != 1 or len(fields[4]) != 1:
            continue
        af = re.search(r"AF=([0-9.]+)", fields[7])
        if af and 0.2 <= float(af.group(1)) <= 0.8 and fields[9] in ("0|1", "1|0"):
            fields[9] = "0/1"
            return lines[:i] + ["\t".join(fields)] + lines[i + 1:], int(fields[1])
    raise AssertionError("no heterozygote to unphase")


# ---- reference: one run of the programs over the whole chromosome --------------------------------

def reference(vcf, chrom, folder, known_every=None):
    os.makedirs(folder)
    prefix = os.path.join(folder, "x")
    known = ["-e", str(known_every)] if known_every else []
    subprocess.run([program("vcf2markers"), "-r", chrom, *known, "-o", prefix, vcf], check=True, capture_output=True)
    report = subprocess.run([program("linkstat"), "-P", "-I" + prefix + ".markers.txt"],
                            check=True, capture_output=True).stdout
    bounds = b"".join(line for line in report.splitlines(keepends=True) if len(line.split()) == 4)
    files = {"bounds.txt": bounds, "snps.txt": read(prefix + ".snps.txt")}
    if known_every:
        files["known.txt"] = read(prefix + ".known.txt")
    with open(os.path.join(folder, "bounds.txt"), "wb") as f:
        f.write(bounds)
    blocks = os.path.join(folder, "blocks.dat")
    files["ldtile.txt"] = subprocess.run(
        [program("ldtile"), "-d", os.path.join(folder, "bounds.txt"), "-f", blocks, "-o", os.path.join(folder, "plot.dat")],
        check=True, capture_output=True, cwd=folder).stdout
    # Without blocks ldtile writes no block file; the workflow's holds the header alone.
    files["blocks.dat"] = read(blocks) if os.path.exists(blocks) else b"SNP1\tindex\tSNP2\tindex\n"
    head, *rows = files["blocks.dat"].splitlines(keepends=True)
    files["blocks.sorted.dat"] = head + b"".join(sorted(rows, key=lambda row: int(row.split()[0])))
    sorted_blocks = os.path.join(folder, "blocks.sorted.dat")
    with open(sorted_blocks, "wb") as f:
        f.write(files["blocks.sorted.dat"])
    tags = os.path.join(folder, "tags.txt")
    known = ["-k", prefix + ".known.txt"] if known_every else []
    files["report.txt"] = subprocess.run(
        [program("haplotypes"), "-s", prefix + ".snps.txt", "-b", sorted_blocks, *known, "-t", tags],
        check=True, capture_output=True).stdout
    files["tags.txt"] = read(tags)
    return files


def stored_records(path, chrom):
    """The records of a bounds.tsv.gz as lists of their four words, after checking its header
    line and that every record names the chromosome."""
    with gzip.open(path, "rb") as f:
        lines = f.read().splitlines()
    assert lines[0] == b"#chrom\tpos1\tpos2\tlower\tupper", lines[0]
    records = [line.split(b"\t") for line in lines[1:]]
    assert all(len(fields) == 5 and fields[0] == chrom.encode() for fields in records), path
    return [fields[1:] for fields in records]


# ---- snakemake ----------------------------------------------------------------------------------

def write_config(folder, **settings):
    config = {"samples": "", "hap_samples": "", "maf": 0.05, "known_every": "", "known_positions": "",
              "chromosomes": "all", "outdir": "out", "linkstat_threads": 2, "bindir": BINARY}
    config.update(settings)
    path = os.path.join(folder, "config.yaml")
    with open(path, "w") as f:
        for key, value in config.items():
            f.write(f"{key}: {value!r}\n" if isinstance(value, str) else f"{key}: {value}\n")


def snakemake(folder, *options, env=None):
    command = ["snakemake", "--snakefile", SNAKEFILE, "--directory", folder,
               "--configfile", os.path.join(folder, "config.yaml"), "--cores", "2", *options]
    return subprocess.run(command, capture_output=True, text=True, env=env, timeout=600)


def jobs_run(log):
    """(rule, wildcards) of every job a snakemake run started, from its output."""
    jobs = []
    current = None
    for line in log.splitlines():
        match = re.match(r"^(?:local)?rule (\w+):$", line)
        if match:
            current = [match.group(1), ""]
            jobs.append(current)
        elif current and line.strip().startswith("wildcards:"):
            current[1] = line.split(":", 1)[1].strip()
        elif not line.strip():
            current = None
    return [tuple(job) for job in jobs]


def job_counts(log):
    """The counts of the "Job stats" table of a snakemake run."""
    table = log[log.index("Job stats:"):]
    counts = {}
    for line in table.splitlines()[3:]:
        fields = line.split()
        if len(fields) != 4 or not fields[1].isdigit():
            break
        counts[fields[0]] = int(fields[1])
    return counts


def persistent_files(outdir):
    """path -> (mtime, bytes) of every result file (neither a temporary chunk file nor a log)."""
    found = {}
    for root, _, names in os.walk(outdir):
        if "/chunks" in root or "/logs" in root:
            continue
        for name in names:
            path = os.path.join(root, name)
            found[path] = (os.stat(path).st_mtime_ns, read(path))
    return found


class Scratch(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ldtools-workflow-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.folder, *names)

    def assertSucceeded(self, result):
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def assertSameTree(self, left, right):
        """Two folders hold the same names and the same bytes."""
        # Snakemake marks a finished folder output with a file of its own.
        compared = filecmp.dircmp(left, right, ignore=[".snakemake_timestamp"])
        self.assertEqual((compared.left_only, compared.right_only, compared.diff_files, compared.funny_files),
                         ([], [], [], []), (left, right))
        for name in compared.common_dirs:
            self.assertSameTree(os.path.join(left, name), os.path.join(right, name))
        for name in compared.common_files:
            self.assertEqual(read(os.path.join(left, name)), read(os.path.join(right, name)), name)

    def assertResultsEqual(self, outdir, expected, ldplot=bool(os.environ.get("LDTOOLS_LDPLOT"))):
        for name, content in expected.items():
            if name == "bounds.txt":      # stored compressed with its index: the same records
                chrom = os.path.basename(outdir)
                self.assertEqual(stored_records(os.path.join(outdir, "bounds.tsv.gz"), chrom),
                                 [line.split() for line in content.splitlines()])
                self.assertTrue(os.path.exists(os.path.join(outdir, "bounds.tsv.gz.tbi")))
                self.assertFalse(os.path.exists(os.path.join(outdir, "bounds.txt")))
            elif name != "ldtile.txt":    # names the files it read: checked apart
                self.assertEqual(read(os.path.join(outdir, name)), content, name)
        if "known.txt" not in expected:
            self.assertFalse(os.path.exists(os.path.join(outdir, "known.txt")))
        picture = os.path.join(outdir, "ld.png")
        if ldplot:
            self.assertEqual(read(picture)[:8], b"\x89PNG\r\n\x1a\n")
        else:
            self.assertFalse(os.path.exists(picture))


# ---- a real run, locally and through the cluster path --------------------------------------------

CHUNK = 120000


class ChunkedRun(Scratch):
    """The example region moved to positions 50,000-450,000 of a chromosome 20 that the header
    declares 450,000 long: with chunks of 120,000, four chunks, each holding SNPs."""

    def setUp(self):
        super().setUp()
        self.vcf = self.path("chr20.vcf.gz")
        write_indexed_vcf(self.vcf, recast(example_lines(), "20", 950000, "##contig=<ID=20,length=450000>"))
        self.expected = reference(self.vcf, "20", self.path("reference"), 3)
        firsts = {int(line.split()[0]) // CHUNK for line in self.expected["bounds.txt"].splitlines()}
        self.assertGreaterEqual(len(firsts), 3, "the test data must give at least three chunks with pairs")
        write_config(self.folder, vcf=self.vcf, chunk_length=CHUNK, known_every=3)

    def check_results(self):
        out = self.path("out", "20")
        self.assertResultsEqual(out, self.expected)
        self.assertEqual(read(os.path.join(out, "ldtile.txt")).splitlines()[3:],
                         self.expected["ldtile.txt"].splitlines()[3:])
        chunks = sorted(os.listdir(self.path("out", "benchmarks", "20")))
        self.assertEqual([name for name in chunks if name.startswith("linkstat.")],
                         [f"linkstat.chunk{k}.tsv" for k in range(4)])
        chunk_folder = os.path.join(out, "chunks")
        self.assertFalse(os.path.exists(chunk_folder) and os.listdir(chunk_folder), "temporary chunk files remain")
        self.assertFalse([name for name in os.listdir(out) if name.startswith("vcf2markers.")])

        rows = ldworkflow.read_rows(self.path("out", "summary.tsv"))
        self.assertEqual(len(rows), 1)
        row = dict(zip(ldworkflow.SUMMARY_COLUMNS, rows[0]))
        self.check_view(out, rows)
        report = self.expected["report.txt"].decode().splitlines()
        blocks = [line.split() for line in report[1:-1]]
        outside = int(report[-1].split()[1])          # notinblocks/known: N K
        snps = len(self.expected["snps.txt"].splitlines())
        average = re.search(rb"Average length of blocks: ([0-9.]+)", self.expected["ldtile.txt"]).group(1)
        self.assertEqual(row["chrom"], "20")
        self.assertEqual(int(row["snps"]), snps)
        self.assertEqual(int(row["pairs"]), len(self.expected["bounds.txt"].splitlines()))
        self.assertEqual(int(row["blocks"]), len(self.expected["blocks.dat"].splitlines()) - 1)
        self.assertEqual(row["snps_in_blocks"], f"{(snps - outside) / snps:.4f}")
        self.assertEqual(row["mean_block_span"], average.decode())
        self.assertEqual(row["mean_NeedSNP"], f"{sum(int(b[7]) for b in blocks) / len(blocks):.2f}")
        for column in ("seconds_linkstat", "seconds_ldtile", "seconds_haplotypes"):
            self.assertGreaterEqual(float(row[column]), 0.0)

    def check_view(self, out, rows):
        """The chromosome's view is ldview's over the reference bounds, blocks and tags, and the
        start page lists the summary row with a link to it."""
        if not os.environ.get("LDTOOLS_LDVIEW"):
            self.assertFalse(os.path.exists(os.path.join(out, "view")))
            self.assertFalse(os.path.exists(self.path("out", "index.html")))
            return
        reference = self.path("reference")
        # The view names its bounds file: the reference records stored as the workflow stores them.
        subprocess.run([os.path.join(BINARY, "packbounds", "packbounds"), "-c", "20", "-o",
                        os.path.join(reference, "bounds.tsv.gz"), os.path.join(reference, "bounds.txt")],
                       check=True, capture_output=True)
        subprocess.run([program("ldview"), "-d", os.path.join(reference, "bounds.tsv.gz"),
                        "-b", os.path.join(reference, "blocks.dat"), "-t", os.path.join(reference, "tags.txt"),
                        "-i", os.path.join(reference, "x.ids.txt"), "-c", "20", "-o", self.path("reference-view")], check=True, capture_output=True)
        self.assertSameTree(os.path.join(out, "view"), self.path("reference-view"))
        page = read(self.path("out", "index.html")).decode()
        self.assertIn('<td><a href="20/view/index.html">20</a></td>', page)
        self.assertIn("".join(f"<td>{value}</td>" for value in rows[0][1:]), page)

    def test_local_run_equals_one_run_over_the_chromosome(self):
        result = snakemake(self.folder, "--printshellcmds")
        self.assertSucceeded(result)
        self.check_results()
        # linkstat writes the bounds records itself (-D): no filter over its full report.
        self.assertEqual(len(re.findall(r"/linkstat -D ", result.stdout + result.stderr)), 4)
        # Nothing is left to do, and a second run changes nothing.
        again = snakemake(self.folder, "-n")
        self.assertSucceeded(again)
        self.assertIn("Nothing to be done", again.stdout + again.stderr)

    def test_cluster_path_with_resource_strings(self):
        record = self.path("submitted.txt")
        env = dict(os.environ, CI="true")    # Snakemake then checks its cluster jobs every second
        result = snakemake(self.folder, "--jobs", "2", "--cluster-sync",
                           f"{SUBMIT} {record} -c {{threads}} --mem={{resources.mem_mb}}", env=env)
        self.assertSucceeded(result)
        self.check_results()
        submitted = [line.split() for line in read(record).decode().splitlines()]
        rules = sorted(job[0] for job in submitted)
        # A chunk's two jobs go as one group job; local rules stay on the submitting machine.
        expected = ["bounds", "chromosome_summary", "haplotypes", "ldtile", "names", "snps"] + ["group:chunk"] * 4 + \
            (["ldplot"] if os.environ.get("LDTOOLS_LDPLOT") else []) + \
            (["ldview"] if os.environ.get("LDTOOLS_LDVIEW") else [])
        self.assertEqual(rules, sorted(expected))
        for rule, threads, mem in submitted:
            self.assertGreaterEqual(int(threads), 1, rule)
            self.assertGreaterEqual(int(mem), 100, rule)


def stand_in_programs(tree, ldplot_record):
    """A build tree of the real programs, except a stand-in ldplot that records its arguments and
    writes the PNG signature."""
    for name in ("vcf2markers", "ldtile", "haplotypes", "linkstat", "ldplot"):
        os.makedirs(os.path.join(tree, ldworkflow.PROGRAMS[name]))
        if name != "ldplot":
            os.symlink(program(name), os.path.join(tree, ldworkflow.PROGRAMS[name], name))
    path = os.path.join(tree, "ldplot", "ldplot")
    with open(path, "w") as f:
        f.write(f"""#!/bin/sh
echo "$*" >> '{ldplot_record}'
while [ "$1" != -o ]; do shift; done
printf '\\211PNG\\r\\n\\032\\n' > "$2"
""")
    os.chmod(path, 0o755)


class ChunkEdges(Scratch):
    def test_markers_on_chunk_ends_and_pairs_at_the_window_edge(self):
        """Twelve chunks of 40,000; SNPs on the first and last position of chunks, and pairs
        199,999 apart (the widest pair) from the last position of a chunk. Random genotypes of
        60 individuals, and four SNPs alike near 300,000 that make a block. A second chromosome
        holds indels only: no SNP, no block (the block file holds its header alone)."""
        L = 40000
        edges = [1, L - 1, L, L + 1, 2 * L - 1, 5 * L, L - 1 + 199999, L + 199999, L + 200000, 11 * L - 1, 11 * L]
        alike = [300000, 301000, 302000, 303000]
        rng = random.Random(20)
        positions = sorted(set(edges + alike + [rng.randrange(2, 12 * L) for _ in range(40)]))
        samples = [f"s{i}" for i in range(1, 61)]
        lines = ["##fileformat=VCFv4.2", "##contig=<ID=7>", "##contig=<ID=8,length=90000>",
                 '##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
                 "\t".join(["#CHROM", "POS", "ID", "REF", "ALT", "QUAL", "FILTER", "INFO", "FORMAT"] + samples)]
        shared = [f"{int(rng.random() < 0.4)}|{int(rng.random() < 0.4)}" for _ in samples]
        for position in positions:
            genotypes = shared if position in alike else \
                [f"{int(rng.random() < 0.3)}|{int(rng.random() < 0.3)}" for _ in samples]
            lines.append("\t".join(["7", str(position), ".", "A", "G", ".", ".", ".", "GT"] + genotypes))
        for position in (500, 50000):
            lines.append("\t".join(["8", str(position), ".", "AT", "A", ".", ".", ".", "GT"] + ["0|1"] * 60))
        vcf = self.path("edges.vcf.gz")
        write_indexed_vcf(vcf, lines)
        expected = reference(vcf, "7", self.path("reference"))
        no_snp = reference(vcf, "8", self.path("reference8"))
        pairs = [tuple(map(int, line.split()[:2])) for line in expected["bounds.txt"].splitlines()]
        self.assertIn((L - 1, L - 1 + 199999), pairs)
        self.assertIn((L, L + 199999), pairs)
        self.assertTrue(any(first == 5 * L for first, _ in pairs))
        self.assertGreater(len(expected["blocks.dat"].splitlines()), 1, "the SNPs alike make a block")

        plots = self.path("ldplot.txt")
        stand_in_programs(self.path("bin"), plots)
        write_config(self.folder, vcf=vcf, chunk_length=L, linkstat_threads=3, bindir=self.path("bin"))
        result = snakemake(self.folder, "--printshellcmds")
        self.assertSucceeded(result)
        for chrom, reference_files in (("7", expected), ("8", no_snp)):
            self.assertResultsEqual(self.path("out", chrom), reference_files, ldplot=True)
        for chrom, chunks in (("7", 12), ("8", 3)):
            benchmarks = os.listdir(self.path("out", "benchmarks", chrom))
            self.assertEqual(len([name for name in benchmarks if name.startswith("linkstat.")]), chunks)
        rows = ldworkflow.read_rows(self.path("out", "summary.tsv"))
        self.assertEqual([row[0] for row in rows], ["7", "8"])
        # The genome-wide BED and tag list: the chromosomes' files in their order; the BED names
        # each block's chromosome.
        for name in ("blocks.bed", "tags.list"):
            self.assertEqual(read(self.path("out", name)),
                             read(self.path("out", "7", name)) + read(self.path("out", "8", name)), name)
        self.assertTrue(read(self.path("out", "7", "blocks.bed")).startswith(b"7\t"))
        self.assertEqual(rows[0][1:4], [str(len(positions)), str(len(pairs)), str(len(expected["blocks.dat"].splitlines()) - 1)])
        self.assertEqual(rows[1][1:7], ["0", "0", "0", "NA", "NA", "NA"])

        # linkstat_threads reaches linkstat as -T, capped by --cores 2; ldplot gets the block file
        # only where there are blocks.
        self.assertEqual(len(re.findall(r"/linkstat -D -T2 -I", result.stdout + result.stderr)), 12 + 3)
        self.assertEqual(sorted(read(plots).decode().splitlines()), [
            "-d out/7/bounds.tsv.gz -b out/7/blocks.dat -o out/7/ld.png", "-d out/8/bounds.tsv.gz -o out/8/ld.png"])


# ---- a genome: job counts of a dry run ------------------------------------------------------------

class GenomeDryRun(Scratch):
    def test_job_counts_of_22_chromosomes(self):
        """Odd chromosomes declare a length in the header (n Mb + 500: n + 1 chunks of 1 Mb), even
        ones do not (last record at n/2 Mb + 7: n/2 + 1 chunks). Chromosome 21 has a record
        beyond its declared length, which the chunks must still cover."""
        header = ["##fileformat=VCFv4.2"]
        records = []
        chunks = 0
        for n in range(1, 23):
            if n % 2:
                header.append(f"##contig=<ID={n},length={n * 1000000 + 500}>")
                last = n * 1000
                chunks += n + 1
            else:
                header.append(f"##contig=<ID={n}>")
                last = n * 500000 + 7
                chunks += n // 2 + 1
            if n == 21:
                last = 23500000
                chunks += 23 - 21
            records += [f"{n}\t100\t.\tA\tC\t.\t.\t.\tGT\t0|1", f"{n}\t{last}\t.\tG\tT\t.\t.\t.\tGT\t1|1"]
        header += ['##FORMAT=<ID=GT,Number=1,Type=String,Description="Genotype">',
                   "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\ts1"]
        vcf = self.path("genome.vcf.gz")
        write_indexed_vcf(vcf, header + records)
        write_config(self.folder, vcf=vcf, chunk_length=1000000)
        result = snakemake(self.folder, "-n", "-q")
        self.assertSucceeded(result)
        per_chromosome = ["bounds", "snps", "ldtile", "sort_blocks", "haplotypes", "names", "chromosome_summary"]
        if os.environ.get("LDTOOLS_LDPLOT"):
            per_chromosome.append("ldplot")
        expected = {"chunk_markers": chunks, "chunk_bounds": chunks, "summary": 1, "genome_names": 1, "all": 1}
        if os.environ.get("LDTOOLS_LDVIEW"):
            per_chromosome.append("ldview")
            expected["index"] = 1
        expected.update({rule: 22 for rule in per_chromosome})
        expected["total"] = sum(expected.values())
        self.assertEqual(job_counts(result.stdout + result.stderr), expected)
        # The same plan through the bundled cluster profile (its options must suit this Snakemake).
        profile = os.path.join(SOURCE, "workflow", "profiles", "slurm")
        result = snakemake(self.folder, "-n", "-q", "--profile", profile)
        self.assertSucceeded(result)
        self.assertEqual(job_counts(result.stdout + result.stderr), expected)


# ---- a failing chromosome, and the rerun ----------------------------------------------------------

class FailureAndRerun(Scratch):
    def setUp(self):
        super().setUp()
        lines = example_lines()
        os.makedirs(self.path("data"))
        self.parts = {}
        for k, chrom in enumerate(("c1", "c2", "c3")):
            first = 1000000 + k * 130000
            self.parts[chrom] = recast(lines, chrom, first - 1000, f"##contig=<ID={chrom}>", first, first + 60000)
            write_indexed_vcf(self.vcf(chrom), self.parts[chrom])
        # The unphased genotype fails the chromosome only when nothing phases it.
        write_config(self.folder, vcf=self.path("data", "{chrom}.vcf.gz"), chromosomes=["c1", "c2", "c3"],
                     chunk_length=30000, known_every=3, phase="never")

    def vcf(self, chrom):
        return self.path("data", chrom + ".vcf.gz")

    def test_failed_chromosome_stops_the_run_and_a_rerun_continues(self):
        bad, position = make_unphased(self.parts["c2"])
        write_indexed_vcf(self.vcf("c2"), bad)
        out = self.path("out")

        # 1. Snakemake stops with the job's error; vcf2markers' message is in the job's log.
        first = snakemake(self.folder)
        log = first.stdout + first.stderr
        self.assertEqual(first.returncode, 1, log)
        self.assertIn("Error in rule snps", log)
        self.assertIn(os.path.join("out", "logs", "c2", "snps.vcf2markers.log"), log)
        message = read(os.path.join(out, "logs", "c2", "snps.vcf2markers.log")).decode()
        self.assertRegex(message, rf"^vcf2markers: .*\b{position}\b")
        for name in ("snps.txt", "known.txt", "report.txt"):
            self.assertFalse(os.path.exists(os.path.join(out, "c2", name)), name)
        after_first = persistent_files(out)

        # 2. With --keep-going the other chromosomes are finished; nothing done before is redone.
        second = snakemake(self.folder, "--keep-going")
        self.assertEqual(second.returncode, 1)
        expected = {chrom: reference(self.vcf(chrom), chrom, self.path("reference", chrom), 3)
                    for chrom in ("c1", "c3")}
        for chrom in ("c1", "c3"):
            self.assertResultsEqual(os.path.join(out, chrom), expected[chrom])
        after_second = persistent_files(out)
        for path, state in after_first.items():
            self.assertEqual(after_second.get(path), state, path)

        # 3. After the repair only the bad chromosome's jobs (and the genome-wide files) run.
        write_indexed_vcf(self.vcf("c2"), self.parts["c2"])
        third = snakemake(self.folder)
        self.assertSucceeded(third)
        jobs = jobs_run(third.stdout + third.stderr)
        genome_wide = ["all", "genome_names", "index", "summary"] if os.environ.get("LDTOOLS_LDVIEW") \
            else ["all", "genome_names", "summary"]
        self.assertEqual(sorted({rule for rule, wildcards in jobs if "chrom=c2" not in wildcards}), genome_wide)
        self.assertIn(("snps", "chrom=c2"), jobs)
        expected["c2"] = reference(self.vcf("c2"), "c2", self.path("reference", "c2"), 3)
        for chrom in ("c1", "c2", "c3"):
            self.assertResultsEqual(os.path.join(out, chrom), expected[chrom])
        after_third = persistent_files(out)
        for path, state in after_second.items():
            if "/c2/" not in path and not path.endswith("/out/summary.tsv") and "/benchmarks/c2" not in path:
                self.assertEqual(after_third.get(path), state, path)
        rows = ldworkflow.read_rows(os.path.join(out, "summary.tsv"))
        self.assertEqual([row[0] for row in rows], ["c1", "c2", "c3"])


# ---- unphased chromosomes: phasing where needed, and the runs without a report -------------------

# Stands in for shapeit4: restores the example's own phase ("/" back to "|"), or fails on request.
STAND_IN_PHASER = os.path.join(SOURCE, "tests", "pipeline", "standinphaser.sh")


def unphase(lines):
    return [line if line.startswith("#") else line.replace("|", "/") for line in lines]


def block_rows(report):
    """SNP1 SNP2 N_SNPS of every block of a report."""
    return [line.split()[:3] for line in report.decode().splitlines() if line[:1].isdigit()]


class Phasing(Scratch):
    """Two chromosomes of 60,000 positions: p1 phased, u2 unphased."""

    def setUp(self):
        super().setUp()
        if not shutil.which("bcftools"):
            self.skipTest("bcftools is not installed")
        lines = example_lines()
        os.makedirs(self.path("data"))
        self.parts = {}
        for k, chrom in enumerate(("p1", "u2")):
            first = 1000000 + k * 130000
            self.parts[chrom] = recast(lines, chrom, first - 1000, f"##contig=<ID={chrom}>", first, first + 60000)
        write_indexed_vcf(self.vcf("p1"), self.parts["p1"])
        write_indexed_vcf(self.vcf("u2"), unphase(self.parts["u2"]))
        # The phased original of u2, for the reference.
        os.makedirs(self.path("original"))
        write_indexed_vcf(self.path("original", "u2.vcf.gz"), self.parts["u2"])
        with open(self.path("data", "u2.map"), "w") as f:
            f.write("pos chr cM\n1 u2 0\n100000 u2 0.1\n")
        self.calls = self.path("calls.txt")
        self.env = dict(os.environ, SHAPEIT4=STAND_IN_PHASER, STANDIN_PHASER_CALLS=self.calls)
        self.config = {"vcf": self.path("data", "{chrom}.vcf.gz"), "chromosomes": ["p1", "u2"], "chunk_length": 30000}

    def vcf(self, chrom):
        return self.path("data", chrom + ".vcf.gz")

    def references(self, known_every=None):
        return {"p1": reference(self.vcf("p1"), "p1", self.path("reference", "p1"), known_every),
                "u2": reference(self.path("original", "u2.vcf.gz"), "u2", self.path("reference", "u2"), known_every)}

    def rows(self):
        return {row[0]: dict(zip(ldworkflow.SUMMARY_COLUMNS, row))
                for row in ldworkflow.read_rows(self.path("out", "summary.tsv"))}

    def test_only_the_unphased_chromosome_is_phased(self):
        write_config(self.folder, **self.config, known_every=3, phase="auto",
                     genetic_map=self.path("data", "{chrom}.map"), phase_threads=2)
        result = snakemake(self.folder, env=self.env)
        self.assertSucceeded(result)
        jobs = jobs_run(result.stdout + result.stderr)
        self.assertEqual([job for job in jobs if job[0] == "phase"], [("phase", "chrom=u2")])
        expected = self.references(3)
        for chrom in ("p1", "u2"):
            self.assertResultsEqual(self.path("out", chrom), expected[chrom])
        self.assertTrue(os.path.exists(self.path("out", "u2", "phased.vcf.gz.csi")))
        self.assertFalse(os.path.exists(self.path("out", "p1", "phased.vcf.gz")))
        call = read(self.calls).decode().split()
        self.assertIn("--map " + self.path("data", "u2.map"), " ".join(call))
        self.assertIn("--thread 2", " ".join(call))
        rows = self.rows()
        self.assertEqual((rows["p1"]["phased"], rows["p1"]["seconds_phase"]), ("no", "NA"))
        self.assertEqual(rows["u2"]["phased"], "yes")
        self.assertGreaterEqual(float(rows["u2"]["seconds_phase"]), 0.0)
        again = snakemake(self.folder, "-n", env=self.env)
        self.assertSucceeded(again)
        self.assertIn("Nothing to be done", again.stdout + again.stderr)

    def test_a_phaser_that_fails_or_is_missing_stops_the_chromosome(self):
        write_config(self.folder, **self.config, phase="auto")
        env = dict(self.env, STANDIN_PHASER_FAIL="the region holds too few SNPs")
        result = snakemake(self.folder, "--keep-going", env=env)
        log = result.stdout + result.stderr
        self.assertEqual(result.returncode, 1, log)
        self.assertIn("Error in rule phase", log)
        self.assertIn("ERROR: the region holds too few SNPs", log)
        self.assertResultsEqual(self.path("out", "p1"), self.references()["p1"])
        for name in ("phased.vcf.gz", "snps.txt", "report.txt"):
            self.assertFalse(os.path.exists(self.path("out", "u2", name)), name)

        shutil.rmtree(self.path("out"))
        result = snakemake(self.folder, env=dict(self.env, SHAPEIT4="/no/such/shapeit4"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("chromosome u2: the haplotype individuals are unphased, and shapeit4 is not installed; install "
                      "shapeit4 and bcftools (scripts/deps.sh phase), or set haplotypes: false", result.stdout + result.stderr)

    def test_without_haplotypes_every_chromosome_gets_bounds_blocks_and_a_row(self):
        write_config(self.folder, **self.config, haplotypes=False)
        result = snakemake(self.folder, env=self.env)
        self.assertSucceeded(result)
        self.assertFalse(os.path.exists(self.calls))
        expected = self.references()
        rows = self.rows()
        for chrom in ("p1", "u2"):
            out = self.path("out", chrom)
            self.assertResultsEqual(out, {name: expected[chrom][name]
                                          for name in ("bounds.txt", "blocks.dat", "blocks.sorted.dat")})
            self.assertTrue(os.path.exists(os.path.join(out, "ids.txt")))
            for name in ("report.txt", "tags.txt", "tags.list", "snps.txt", "phased.vcf.gz"):
                self.assertFalse(os.path.exists(os.path.join(out, name)), name)
            bounds = expected[chrom]["bounds.txt"].decode().split("\n")
            snps = len({word for line in bounds for word in line.split()[:2]})
            blocks = [line.split() for line in expected[chrom]["blocks.dat"].decode().splitlines()[1:]]
            row = rows[chrom]
            self.assertEqual(int(row["snps"]), snps)
            self.assertEqual(int(row["blocks"]), len(blocks))
            in_blocks = sum(int(block[3]) - int(block[1]) + 1 for block in blocks)
            self.assertEqual(row["snps_in_blocks"], f"{in_blocks / snps:.4f}")
            self.assertEqual((row["mean_NeedSNP"], row["seconds_haplotypes"], row["phased"]), ("NA", "NA", "no"))
            self.assertEqual(row["mean_block_span"],
                             f"{sum(int(block[2]) - int(block[0]) for block in blocks) / len(blocks):.3f}")

        # Tables with the header of an earlier version are written again.
        old = "\t".join(ldworkflow.SUMMARY_COLUMNS[:-2]) + "\n"
        for path in (self.path("out", "summary.tsv"), self.path("out", "p1", "summary.tsv")):
            with open(path, "w") as f:
                f.write(old)
        result = snakemake(self.folder, env=self.env)
        self.assertSucceeded(result)
        self.assertEqual(sorted(self.rows()), ["p1", "u2"])
        self.assertEqual(ldworkflow.read_rows(self.path("out", "p1", "summary.tsv"))[0][0], "p1")

    def test_shapeit4_phases_the_unphased_chromosome(self):
        if not shutil.which("shapeit4"):
            self.skipTest("shapeit4 is not installed")
        write_config(self.folder, **dict(self.config, chromosomes=["u2"]), phase="auto")
        result = snakemake(self.folder)
        self.assertSucceeded(result)
        expected = self.references()["u2"]
        out = self.path("out", "u2")
        self.assertResultsEqual(out, {name: expected[name] for name in ("bounds.txt", "blocks.dat")})
        report = read(os.path.join(out, "report.txt"))
        self.assertTrue(block_rows(report))
        self.assertEqual(block_rows(report), block_rows(expected["report.txt"]))
        self.assertEqual(len(read(os.path.join(out, "snps.txt"))), len(expected["snps.txt"]))
        self.assertEqual(self.rows()["u2"]["phased"], "yes")


# ---- chromosome names that a shell, a region or Snakemake would read as syntax ---------------------

HOSTILE = "c'$(touch$IFS'PWNED_Y')"


class ChromosomeNames(Scratch):
    def test_odd_names_run_and_hostile_names_are_skipped(self):
        """Chromosomes HLA and HLA:1 (a region "HLA:1" would be ambiguous), one with the other
        characters a name may hold, and two that are skipped: one that would run a command where
        a shell reads it unquoted, and one with Snakemake's wildcard braces."""
        lines = example_lines()
        header = [line for line in lines if line.startswith("#") and not line.startswith("##contig=")]
        names = ["HLA", "HLA:1", "A*01|x+y.z_w-v", HOSTILE, "{x}"]
        records = []
        for k, chrom in enumerate(names):
            first = 1000000 + k * 70000
            records += recast(lines, chrom, first - 1000, "", first, first + 50000)[len(header) + 1:]
        contigs = [f"##contig=<ID={chrom}>" for chrom in names]
        vcf = self.path("odd.vcf.gz")
        write_indexed_vcf(vcf, header[:1] + contigs + header[1:] + records)
        write_config(self.folder, vcf=vcf, chunk_length=20000)

        result = snakemake(self.folder, "--printshellcmds")
        log = result.stdout + result.stderr
        self.assertSucceeded(result)
        for skipped in (HOSTILE, "{x}"):
            self.assertEqual(log.count(f"ldtools workflow: skipped chromosome {skipped!r} of {vcf}: "), 1, log)
        for chrom in names[:3]:
            expected = reference(vcf, "{" + chrom + "}", self.path("reference", chrom))
            self.assertResultsEqual(self.path("out", chrom), expected)
        # Regions name a chromosome with ":" braced.
        self.assertIn("-r '{HLA:1}' ", log)
        self.assertIn("-r '{HLA:1}:1-219999' ", log)
        self.assertEqual([row[0] for row in ldworkflow.read_rows(self.path("out", "summary.tsv"))], names[:3])

        # Through the cluster path, Snakemake writes the wildcards into each job's script.
        write_config(self.folder, vcf=vcf, chunk_length=20000, outdir="cluster")
        record = self.path("submitted.txt")
        result = snakemake(self.folder, "--jobs", "2", "--cluster-sync",
                           f"{SUBMIT} {record} -c {{threads}} --mem={{resources.mem_mb}}",
                           env=dict(os.environ, CI="true"))
        self.assertSucceeded(result)
        for chrom in names[:3]:
            for name in ("bounds.tsv.gz", "report.txt", "tags.txt", "blocks.bed", "tags.list"):
                self.assertEqual(read(self.path("cluster", chrom, name)), read(self.path("out", chrom, name)))
        self.assertEqual([row[:7] for row in ldworkflow.read_rows(self.path("cluster", "summary.tsv"))],
                         [row[:7] for row in ldworkflow.read_rows(self.path("out", "summary.tsv"))])

        created = [os.path.join(root, name) for root, folders, files in os.walk(self.folder)
                   for name in files + folders if "PWNED" in name]
        self.assertEqual(created, [])
        self.assertFalse(os.path.exists("PWNED_Y"))


# ---- settings that stop the workflow before any job ------------------------------------------------

class Settings(Scratch):
    def base(self, **changes):
        config = {"vcf": EXAMPLE, "chromosomes": "all", "samples": "", "hap_samples": "", "maf": 0.05,
                  "known_every": "", "known_positions": "", "chunk_length": 5000000, "outdir": "out",
                  "linkstat_threads": 4, "bindir": ""}
        config.update(changes)
        return config

    def test_bad_settings_are_named(self):
        cases = [
            ({"chunk_length": 0}, "chunk_length must be a whole number of at least 1"),
            ({"maf": 0.6}, "maf must be a number from 0 to 0.5"),
            ({"known_every": 3, "known_positions": EXAMPLE}, "known_every and known_positions exclude each other"),
            ({"chromosomes": ["20", "20"]}, "20 is listed twice"),
            ({"chromosomes": ["a/b"]}, "cannot name a chromosome folder"),
            ({"samples": self.path("absent.txt")}, "samples: no such file"),
            ({"chunk_lenght": 5}, "unknown key(s) chunk_lenght"),
            ({"outdir": "out/{chrom}"}, "outdir must not contain { or }"),
        ]
        for changes, message in cases:
            with self.subTest(changes=changes):
                with self.assertRaises(ldworkflow.ConfigError) as caught:
                    ldworkflow.Settings(self.base(**changes))
                self.assertIn(message, str(caught.exception))
        settings = ldworkflow.Settings(self.base(chunk_length="1,000,000", known_every=0, outdir="res//"))
        self.assertEqual((settings.chunk_length, settings.has_known, settings.outdir), (1000000, False, "res"))

    def test_input_problems_stop_snakemake_before_any_job(self):
        plain = self.path("plain.vcf")
        with open(plain, "w") as f:
            f.write("\n".join(example_lines()[:30]) + "\n")
        os.makedirs(self.path("empty"))
        shutil.copy(EXAMPLE, self.path("chr20.vcf.gz"))
        shutil.copy(EXAMPLE + ".csi", self.path("chr20.vcf.gz.csi"))
        cases = [
            ({"vcf": plain}, "has no index"),
            ({"vcf": EXAMPLE, "chromosomes": ["21"]}, "chromosome 21 is not in the index of"),
            ({"vcf": self.path("empty", "{chrom}.vcf.gz")}, "no file matches"),
            ({"vcf": self.path("{chrom}.vcf.gz")}, "chromosome chr20 is not in the index of"),
            ({"vcf": EXAMPLE, "bindir": self.folder}, "cannot find the program vcf2markers in " + self.folder),
        ]
        for settings, message in cases:
            with self.subTest(settings=settings):
                write_config(self.folder, **{"chunk_length": 100000, **settings})
                result = snakemake(self.folder, "-n")
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stdout + result.stderr)
                self.assertNotIn("Job stats", result.stdout + result.stderr)

    def test_names_outside_the_safe_set_are_refused_or_skipped(self):
        for name in ("#x", "a{b}", "{chrom}", HOSTILE, "a,b", "a=b", "a\\b", ".", "..", "x'y"):
            with self.subTest(name=name):
                with self.assertRaises(ldworkflow.ConfigError) as caught:
                    ldworkflow.Settings(self.base(chromosomes=[name]))
                self.assertIn(f"config: chromosomes: {name!r} cannot name a chromosome folder; "
                              "a chromosome name is made of letters", str(caught.exception))
        names = ["HLA-A*01:01:01|x+y", "chrUn_KI270302v1", "1"]
        self.assertEqual(ldworkflow.Settings(self.base(chromosomes=names)).chromosomes, names)

        # One file per chromosome: files whose chromosome part is no name are skipped with a note.
        os.makedirs(self.path("data"))
        for chrom in ("#x", "a{b}", "2", "10", "1"):
            open(self.path("data", f"chr{chrom}.vcf.gz"), "w").close()
        pattern = self.path("data", "chr{chrom}.vcf.gz")
        genome = ldworkflow.Genome(ldworkflow.Settings(self.base(vcf=pattern)), program("vcf2markers"))
        notes = io.StringIO()
        with contextlib.redirect_stderr(notes):
            self.assertEqual(genome._glob_chromosomes(), ["1", "2", "10"])
        self.assertEqual(sorted(notes.getvalue().splitlines()), [
            f"ldtools workflow: skipped chromosome {name!r} of {pattern}: {ldworkflow.NAME_RULE}"
            for name in ("#x", "a{b}")])

    def test_chunk_counts_are_bounded(self):
        """The example's chromosome 20 spans 1,399,985 positions: 10,000 chunks of 140 at the most."""
        vcf2markers = program("vcf2markers")
        genome = ldworkflow.Genome(ldworkflow.Settings(self.base(chunk_length=140)), vcf2markers)
        self.assertEqual(genome.chunk_count("20"), 10000)
        self.assertEqual(genome.chunk_region("20", 0), "20:1-200139")
        genome = ldworkflow.Genome(ldworkflow.Settings(self.base(chunk_length=139)), vcf2markers)
        with self.assertRaises(ldworkflow.ConfigError) as caught:
            genome.chunk_count("20")
        self.assertEqual(str(caught.exception), "config: chunk_length 139 cuts chromosome 20 (span 1,399,985) into "
                                                "10,072 chunks, more than 10,000; make chunk_length at least 140")

        # A header that declares 10^12 positions: the chunks stop at the largest position the
        # programs read, 2^31 - 1 (430 chunks of 5,000,000).
        lines = [line for line in example_lines() if not line.startswith("##contig=")]
        records = [line for line in lines if not line.startswith("#")][:200]
        header = [line for line in lines if line.startswith("#")]
        vcf = self.path("long.vcf.gz")
        write_indexed_vcf(vcf, header[:1] + ["##contig=<ID=20,length=1000000000000>"] + header[1:] + records)
        write_config(self.folder, vcf=vcf, chunk_length=5000000)
        result = snakemake(self.folder, "-n", "-q")
        self.assertSucceeded(result)
        counts = job_counts(result.stdout + result.stderr)
        self.assertEqual((counts["chunk_markers"], counts["chunk_bounds"]), (430, 430))

        # chunk_length 1 on that chromosome: refused at once, before any job.
        write_config(self.folder, vcf=vcf, chunk_length=1)
        result = subprocess.run(["snakemake", "--snakefile", SNAKEFILE, "--directory", self.folder, "--configfile",
                                 self.path("config.yaml"), "--cores", "2", "-n"], capture_output=True, text=True,
                                timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn("config: chunk_length 1 cuts chromosome 20 (span 2,147,483,647) into 2,147,483,648 chunks",
                      result.stdout + result.stderr)
        self.assertNotIn("Job stats", result.stdout + result.stderr)


if __name__ == "__main__":
    if not shutil.which("snakemake"):
        print("snakemake not found (scripts/deps.sh installs it): the workflow tests are skipped")
        sys.exit(77)
    for tool in ("bgzip", "tabix"):
        if not shutil.which(tool):
            print(f"{tool} not found (Debian package tabix, scripts/deps.sh installs it)")
            sys.exit(1)
    unittest.main()
