"""Helpers of the whole-genome workflow (workflow/Snakefile): the settings read from the config,
the programs of the tool-chain, the chromosomes and chunks of the input, and the per-chromosome
rows of the summary table.

Standard library only. The input's chromosomes, their spans and the pair window come from
`vcf2markers --describe` (htslib, through the file's index).

As a script: `ldworkflow.py positions OUTPUT CHUNK_LENGTH MARKERS...` writes the positions of a
chromosome's marker file from its chunks' marker files; `ldworkflow.py row OUTPUT CHROM BOUNDS
BLOCKS LDTILE_BENCHMARK SNPS REPORT HAPLOTYPES_BENCHMARK PHASE_BENCHMARK LINKSTAT_BENCHMARK...` writes a chromosome's summary table (SNPS,
REPORT and HAPLOTYPES_BENCHMARK are "-" for a chromosome without a report, PHASE_BENCHMARK "-" when
its SNP file did not come from a phased copy), `ldworkflow.py table OUTPUT SUMMARY...` the genome's
table from the chromosomes' tables, in the order given.
"""

import gzip
import html
import os
import re
import shlex
import shutil
import subprocess
import sys
import urllib.parse

# The largest position the programs read: a chromosome's chunks cover no more.
LAST_POSITION = 2**31 - 1

# A chromosome cut into more chunks than this would keep Snakemake building its plan for minutes
# (and give as many jobs); such a chunk_length is refused before any job runs.
MAX_CHUNKS = 10000

# The characters of a chromosome name the workflow takes. Snakemake 7 writes wildcard values into
# the command lines of the jobs it starts through a shell (cluster job scripts, spawned jobs),
# quoted with Python's repr(): these characters stay inert inside its quotes. They include no
# Snakemake wildcard brace, no "#" (a comment line to tabix and BED), no "," or "=" (which split
# Snakemake's list of target jobs), no "/" or white space (the name is a folder name).
CHROMOSOME_NAME = r"[A-Za-z0-9._:+*|-]+"
NAME_RULE = "a chromosome name is made of letters, digits and the characters ._-:+*| (and is not . or ..)"

CONFIG_KEYS = (
    "vcf", "chromosomes", "samples", "hap_samples", "maf", "known_every", "known_positions",
    "chunk_length", "outdir", "linkstat_threads", "bindir",
)

# Keys that a config may leave out (one written before they existed), with their values then.
OPTIONAL_KEYS = {"phase": "auto", "haplotypes": True, "genetic_map": "", "phase_threads": 4}

PHASE_MODES = ("auto", "always", "never")

# Program name -> folder of the program in a build tree.
PROGRAMS = {
    "vcf2markers": "vcf2markers",
    "linkstat": "linkstat",
    "ldtile": "ldtile",
    "haplotypes": "Haplotypes",
    "ldplot": "ldplot",
    "ldview": "ldview",
}

SUMMARY_COLUMNS = (
    "chrom", "snps", "pairs", "blocks", "snps_in_blocks", "mean_block_span", "mean_NeedSNP",
    "seconds_linkstat", "seconds_ldtile", "seconds_haplotypes", "phased", "seconds_phase",
)


class ConfigError(Exception):
    """A setting, an input file or a program that stops the workflow before any job runs."""


# ---- settings -----------------------------------------------------------------------------------

def _is_empty(value):
    return value is None or (isinstance(value, str) and value.strip() == "")


def _whole_number(key, value, minimum, allow_empty=False):
    if allow_empty and _is_empty(value):
        return None
    number = None
    if isinstance(value, int) and not isinstance(value, bool):
        number = value
    elif isinstance(value, float) and value.is_integer():
        number = int(value)
    elif isinstance(value, str) and re.fullmatch(r"\s*\d[\d_,]*\s*", value):
        number = int(re.sub(r"[\s_,]", "", value))
    if number is None or number < minimum:
        raise ConfigError(f"config: {key} must be a whole number of at least {minimum} (found {value!r})")
    return number


def _path(key, value):
    if _is_empty(value):
        return ""
    if not isinstance(value, str):
        raise ConfigError(f"config: {key} must be a file name (found {value!r})")
    if "{chrom}" not in value and not os.path.isfile(value):
        raise ConfigError(f"config: {key}: no such file: {value}")
    return value


class Settings:
    """The config, checked. Paths stay as given (relative to the working directory)."""

    def __init__(self, config):
        unknown = sorted(set(config) - set(CONFIG_KEYS) - set(OPTIONAL_KEYS))
        if unknown:
            raise ConfigError("config: unknown key(s) " + ", ".join(unknown) +
                              "; the keys are " + ", ".join(CONFIG_KEYS + tuple(OPTIONAL_KEYS)))
        missing = [key for key in CONFIG_KEYS if key not in config]
        if missing:
            raise ConfigError("config: missing key(s) " + ", ".join(missing))

        vcf = config["vcf"]
        if _is_empty(vcf) or not isinstance(vcf, str):
            raise ConfigError("config: vcf must name an indexed VCF/BCF file, or a path with {chrom}")
        self.vcf = vcf

        chromosomes = config["chromosomes"]
        if isinstance(chromosomes, str) and chromosomes.strip() == "all":
            self.chromosomes = "all"
        else:
            if isinstance(chromosomes, (str, int)) and not isinstance(chromosomes, bool):
                chromosomes = [chromosomes]
            if not isinstance(chromosomes, list) or not chromosomes:
                raise ConfigError("config: chromosomes must be a list of names, or all")
            names = []
            for name in chromosomes:
                if isinstance(name, bool) or not isinstance(name, (str, int)):
                    raise ConfigError(f"config: chromosomes: {name!r} is no chromosome name")
                name = str(name).strip()
                check_chromosome_name(name, "config: chromosomes")
                if name in names:
                    raise ConfigError(f"config: chromosomes: {name} is listed twice")
                names.append(name)
            self.chromosomes = names

        self.samples = _path("samples", config["samples"])
        self.hap_samples = _path("hap_samples", config["hap_samples"])

        maf = config["maf"]
        if isinstance(maf, bool) or not isinstance(maf, (int, float, str)) or _is_empty(maf):
            raise ConfigError(f"config: maf must be a number from 0 to 0.5 (found {maf!r})")
        try:
            maf_value = float(maf)
        except ValueError:
            raise ConfigError(f"config: maf must be a number from 0 to 0.5 (found {maf!r})") from None
        if not 0 <= maf_value <= 0.5:
            raise ConfigError(f"config: maf must be a number from 0 to 0.5 (found {maf!r})")
        self.maf = str(maf).strip()

        self.known_every = _whole_number("known_every", config["known_every"], 0, allow_empty=True) or None
        self.known_positions = _path("known_positions", config["known_positions"])
        if self.known_every and self.known_positions:
            raise ConfigError("config: known_every and known_positions exclude each other; leave one empty")

        self.chunk_length = _whole_number("chunk_length", config["chunk_length"], 1)
        outdir = config["outdir"]
        if _is_empty(outdir) or not isinstance(outdir, str):
            raise ConfigError("config: outdir must name the output folder")
        outdir = outdir.strip()
        while len(outdir) > 1 and outdir.endswith("/"):
            outdir = outdir[:-1]
        if "{" in outdir or "}" in outdir:
            raise ConfigError("config: outdir must not contain { or } (they mark wildcards in Snakemake's file names)")
        self.outdir = outdir
        self.linkstat_threads = _whole_number("linkstat_threads", config["linkstat_threads"], 1)
        bindir = config["bindir"]
        if not _is_empty(bindir) and not isinstance(bindir, str):
            raise ConfigError(f"config: bindir must name a folder (found {bindir!r})")
        self.bindir = "" if _is_empty(bindir) else bindir
        if self.bindir and not os.path.isdir(self.bindir):
            raise ConfigError(f"config: bindir: no such folder: {self.bindir}")

        optional = {key: config.get(key, default) for key, default in OPTIONAL_KEYS.items()}
        self.phase = str(optional["phase"]).strip()
        if self.phase not in PHASE_MODES:
            raise ConfigError(f"config: phase must be auto, always or never (found {optional['phase']!r})")
        haplotypes = optional["haplotypes"]
        if not isinstance(haplotypes, bool):
            raise ConfigError(f"config: haplotypes must be true or false (found {haplotypes!r})")
        self.haplotypes = haplotypes
        if not self.haplotypes and (self.hap_samples or self.has_known):
            raise ConfigError("config: with haplotypes: false there is no report; leave hap_samples, known_every "
                              "and known_positions empty")
        self.genetic_map = _path("genetic_map", optional["genetic_map"])
        self.phase_threads = _whole_number("phase_threads", optional["phase_threads"], 1)

    @property
    def has_known(self):
        return bool(self.known_every or self.known_positions)

    def known_file(self, chrom):
        return self.known_positions.replace("{chrom}", chrom)

    def individuals_options(self, maf=None):
        """vcf2markers options for the marker individuals and the MAF (chunks and whole chromosomes)."""
        options = []
        if self.samples:
            options += ["-S", self.samples]
        options += ["-m", self.maf if maf is None else maf]
        return " ".join(shlex.quote(option) for option in options)

    @property
    def checks_phase(self):
        """Whether the chunks check the haplotype individuals' phase (phase: auto)."""
        return self.haplotypes and self.phase == "auto"

    def map_file(self, chrom):
        return self.genetic_map.replace("{chrom}", chrom)

    def snp_file_options(self, chrom):
        """vcf2markers options for the SNP and known-SNP files of one chromosome."""
        options = []
        if self.hap_samples:
            options += ["-F", self.hap_samples]
        if self.known_every:
            options += ["-e", str(self.known_every)]
        elif self.known_positions:
            options += ["-k", self.known_file(chrom)]
        return " ".join(shlex.quote(option) for option in options)


def usable_chromosome_name(name):
    return re.fullmatch(CHROMOSOME_NAME, name) is not None and name not in (".", "..")


def check_chromosome_name(name, where):
    if not usable_chromosome_name(name):
        raise ConfigError(f"{where}: {name!r} cannot name a chromosome folder; {NAME_RULE}")


def region_name(chrom):
    """The chromosome as a region names it: braced when it holds ":", which would otherwise read
    as the start of the positions."""
    return "{" + chrom + "}" if ":" in chrom else chrom


# ---- programs -----------------------------------------------------------------------------------

def _executable(path):
    return os.path.isfile(path) and os.access(path, os.X_OK)


def find_program(name, bindir, repo):
    """The path of a program of the tool-chain, or None. With bindir: bindir/NAME or, for a build
    tree, bindir/FOLDER/NAME; without: this checkout's build/release tree, then PATH."""
    folder = PROGRAMS[name]
    if bindir:
        candidates = [os.path.join(bindir, name), os.path.join(bindir, folder, name)]
    else:
        candidates = [os.path.join(repo, "build", "release", folder, name)]
    for candidate in candidates:
        if _executable(candidate):
            return os.path.abspath(candidate)
    if not bindir:
        found = shutil.which(name)
        if found:
            return os.path.abspath(found)
    return None


def _run(args, **kwargs):
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, timeout=600, **kwargs)


class Programs:
    """Where the programs are; ldplot and ldview may be missing (then no ld.png, or no views)."""

    def __init__(self, bindir, repo):
        where = f"in {bindir}" if bindir else f"in {os.path.join(repo, 'build', 'release')} or on PATH"
        self.paths = {}
        for name in ("vcf2markers", "linkstat", "ldtile", "haplotypes"):
            path = find_program(name, bindir, repo)
            if path is None:
                raise ConfigError(f"cannot find the program {name} {where} (build the project, or set bindir)")
            self.paths[name] = path
        self.ldplot = find_program("ldplot", bindir, repo)
        self.ldview = find_program("ldview", bindir, repo)
        # The phaser and bcftools, which chooses its individuals; SHAPEIT4 and BCFTOOLS name others.
        self.shapeit4 = shutil.which(os.environ.get("SHAPEIT4") or "shapeit4")
        self.bcftools = shutil.which(os.environ.get("BCFTOOLS") or "bcftools")

    def check_phaser(self, why):
        """Stops the workflow when phasing is needed (why) and cannot run here."""
        missing = [name for name, path in (("shapeit4", self.shapeit4), ("bcftools", self.bcftools)) if not path]
        if missing:
            raise ConfigError(f"{why}, and {' and '.join(missing)} {'is' if len(missing) == 1 else 'are'} not "
                              "installed; install shapeit4 and bcftools (scripts/deps.sh phase), or set "
                              "haplotypes: false for the bounds, blocks and pictures without reports")

    def command(self, name):
        """The program's path, quoted for a shell command."""
        optional = {"ldplot": self.ldplot, "ldview": self.ldview, "shapeit4": self.shapeit4, "bcftools": self.bcftools}
        if name in optional:
            return shlex.quote(optional[name] or name)
        return shlex.quote(self.paths[name])


# ---- chromosomes, contig lengths and chunks ------------------------------------------------------

def natural_key(name):
    """1, 2, ..., 10, X: numbers by value, the rest by text."""
    return [(0, int(part), "") if part.isdigit() else (1, 0, part) for part in re.split(r"(\d+)", name) if part]


def index_of(path):
    for suffix in (".csi", ".tbi"):
        if os.path.isfile(path + suffix):
            return path + suffix
    return None


class Genome:
    """The chromosomes of the input and their chunks. Each file is described once (vcf2markers
    --describe) and the answer kept, so a job started on a cluster node does not repeat it."""

    def __init__(self, settings, vcf2markers):
        self.settings = settings
        self.vcf2markers = vcf2markers
        self.per_chromosome = "{chrom}" in settings.vcf
        self._chromosomes = None
        self._descriptions = {}

    def vcf(self, chrom):
        return self.settings.vcf.replace("{chrom}", chrom)

    def inputs(self, chrom):
        """The VCF/BCF file holding the chromosome and its index (job inputs)."""
        path = self.vcf(chrom)
        return {"vcf": path, "index": index_of(path) or path + ".csi"}

    def _check_file(self, path):
        if not os.path.isfile(path):
            raise ConfigError(f"no such VCF/BCF file: {path}")
        if index_of(path) is None:
            raise ConfigError(f"{path} has no index ({os.path.basename(path)}.csi or .tbi); "
                              "make one with tabix -p vcf (bgzipped VCF) or bcftools index")

    def _describe(self, path):
        """(pair window, {chromosome: span}) of a file: every chromosome its index lists, span 0
        for one without records."""
        if path not in self._descriptions:
            self._check_file(path)
            try:
                result = _run([self.vcf2markers, "--describe", "--", path])
            except (OSError, subprocess.SubprocessError) as error:
                raise ConfigError(f"{self.vcf2markers} --describe {path}: {error}") from None
            if result.returncode != 0:
                raise ConfigError(result.stderr.decode("utf-8", "replace").strip())
            window, spans = None, {}
            for line in result.stdout.decode("utf-8", "replace").splitlines():
                fields = line.split("\t")
                if fields[0] == "window" and len(fields) == 2 and fields[1].isdigit():
                    window = int(fields[1])
                elif fields[0] == "span" and len(fields) == 3 and fields[2].isdigit():
                    spans[fields[1]] = int(fields[2])
                else:
                    raise ConfigError(f"{self.vcf2markers} --describe {path}: unexpected line {line!r}")
            if window is None:
                raise ConfigError(f"{self.vcf2markers} --describe {path} printed no pair window")
            self._descriptions[path] = (window, spans)
        return self._descriptions[path]

    def _spans(self, path):
        return self._describe(path)[1]

    # chromosomes ----------------------------------------------------------------------------------

    def chromosomes(self):
        if self._chromosomes is None:
            self._chromosomes = self._find_chromosomes()
        return self._chromosomes

    def check(self):
        """Every check of the input before any job runs: the chromosomes, and their chunk counts."""
        for chrom in self.chromosomes():
            self.chunk_count(chrom)

    def _find_chromosomes(self):
        wanted = self.settings.chromosomes
        if wanted == "all" and not self.per_chromosome:
            path = self.vcf("")
            names = skip_unusable([name for name, span in self._spans(path).items() if span > 0], path)
            if not names:
                raise ConfigError(f"no chromosome with records found in {path}")
            return names
        if wanted == "all":
            wanted = self._glob_chromosomes()
            if not wanted:
                raise ConfigError(f"no file matches {self.settings.vcf}")
        for chrom in wanted:
            path = self.vcf(chrom)
            spans = self._spans(path)
            if chrom not in spans:
                listed = list(spans)
                shown = ", ".join(listed[:10]) + (", ..." if len(listed) > 10 else "")
                raise ConfigError(f"chromosome {chrom} is not in the index of {path} "
                                  f"(it lists {shown or 'nothing'})")
            if spans[chrom] == 0:
                raise ConfigError(f"{path} holds no records on chromosome {chrom}")
        return list(wanted)

    def _glob_chromosomes(self):
        pattern = self.settings.vcf
        head, _, tail = pattern.partition("{chrom}")
        if "{chrom}" in tail:
            raise ConfigError("config: vcf names {chrom} more than once")
        folder = os.path.dirname(head) or "."
        if "/" in tail:
            raise ConfigError("config: with chromosomes: all, {chrom} must be in the file name of vcf, "
                              "not in a folder name")
        prefix = os.path.basename(head)
        names = []
        try:
            entries = os.listdir(folder)
        except OSError as error:
            raise ConfigError(f"cannot list {folder}: {error.strerror}") from None
        for entry in entries:
            if entry.startswith(prefix) and entry.endswith(tail) and len(entry) > len(prefix) + len(tail):
                chrom = entry[len(prefix):len(entry) - len(tail)]
                if "/" not in chrom and os.path.isfile(os.path.join(folder, entry)):
                    names.append(chrom)
        names.sort(key=natural_key)
        return skip_unusable(names, pattern)

    # chunks ----------------------------------------------------------------------------------------

    def span(self, chrom):
        """The last position the chunks must cover: the contig length of the header, or, without
        one (or with records beyond it), the position of the last record; at most LAST_POSITION."""
        spans = self._spans(self.vcf(chrom))
        if chrom not in spans:
            raise ConfigError(f"chromosome {chrom} is not in the index of {self.vcf(chrom)}")
        return min(spans[chrom], LAST_POSITION)

    def chunk_count(self, chrom):
        span = self.span(chrom)
        length = self.settings.chunk_length
        count = span // length + 1
        if count > MAX_CHUNKS:
            raise ConfigError(f"config: chunk_length {length:,} cuts chromosome {chrom} (span {span:,}) into "
                              f"{count:,} chunks, more than {MAX_CHUNKS:,}; make chunk_length at least "
                              f"{span // MAX_CHUNKS + 1:,}")
        return count

    def chunk_range(self, chunk):
        """[first, end) of chunk number `chunk`."""
        first = int(chunk) * self.settings.chunk_length
        return first, first + self.settings.chunk_length

    def chunk_region(self, chrom, chunk):
        """The vcf2markers region of a chunk: the chunk and the pair window beyond it."""
        first, end = self.chunk_range(chunk)
        window = self._describe(self.vcf(chrom))[0]
        return f"{region_name(chrom)}:{max(first, 1)}-{end - 1 + window}"


def skip_unusable(names, where):
    """The names that can name a chromosome; one note on standard error for each other one."""
    usable = []
    for name in names:
        if usable_chromosome_name(name):
            usable.append(name)
        else:
            print(f"ldtools workflow: skipped chromosome {name!r} of {where}: {NAME_RULE}", file=sys.stderr)
    return usable


# ---- summary table ------------------------------------------------------------------------------

def count_lines(path):
    lines = 0
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                return lines
            lines += block.count(b"\n")


def report_blocks(path):
    """(first, last, N_SNPS, NeedSNP) of every block row of a haplotypes report."""
    rows = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 8 and fields[0].isdigit() and fields[1].isdigit():
                rows.append((int(fields[0]), int(fields[1]), int(fields[2]), int(fields[7])))
    return rows


def benchmark_seconds(path):
    """Wall-clock seconds of a Snakemake benchmark file (column s, summed over its repeats)."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        column = header.index("s")
        return sum(float(line.split("\t")[column]) for line in f if line.strip())


def _mean(values, digits):
    return f"{sum(values) / len(values):.{digits}f}" if values else "NA"


def record_count(path):
    """The number of bounds records that a file of counts (bounds.records) holds."""
    with open(path) as f:
        return int(f.read().strip())


def block_file_rows(path):
    """(first, last, SNPs) of every block of an ldtile block file (after its header)."""
    rows = []
    with open(path) as f:
        next(f, None)
        for line in f:
            fields = line.split()
            if len(fields) == 4:
                rows.append((int(fields[0]), int(fields[2]), int(fields[3]) - int(fields[1]) + 1))
    return rows


def bounds_snps(path):
    """The number of SNPs in the pairs of a bounds file: plain records (first second lower upper) or
    the indexed form (#chrom pos1 pos2 lower upper, BGZF)."""
    positions = set()
    with open(path, "rb") as raw:
        compressed = raw.read(2) == b"\x1f\x8b"
    with (gzip.open(path, "rt") if compressed else open(path)) as f:
        for line in f:
            if line.startswith("#"):
                continue
            fields = line.split(None, 3 if compressed else 2)
            if compressed and len(fields) >= 3:
                positions.update(fields[1:3])
            elif not compressed and len(fields) >= 2:
                positions.update(fields[:2])
    return len(positions)


def summary_row(chrom, bounds, records, blocks_file, ldtile_benchmark, snps, report, haplotypes_benchmark, phase_benchmark,
                linkstat_benchmarks):
    """A chromosome's row. Without a report (snps, report and haplotypes_benchmark None) the blocks
    come from ldtile's block file and the SNPs are those of the bounds."""
    if report is None:
        snp_count = bounds_snps(bounds)
        blocks = [(first, last, count, None) for first, last, count in block_file_rows(blocks_file)]
    else:
        snp_count = count_lines(snps)
        blocks = report_blocks(report)
    in_blocks = sum(row[2] for row in blocks)
    need = [row[3] for row in blocks if row[3] is not None]
    return [
        chrom,
        str(snp_count),
        str(record_count(records)),
        str(len(blocks)),
        f"{in_blocks / snp_count:.4f}" if snp_count else "NA",
        _mean([row[1] - row[0] for row in blocks], 3),
        _mean(need, 2),
        f"{sum(benchmark_seconds(path) for path in linkstat_benchmarks):.2f}",
        f"{benchmark_seconds(ldtile_benchmark):.2f}",
        f"{benchmark_seconds(haplotypes_benchmark):.2f}" if haplotypes_benchmark else "NA",
        "yes" if phase_benchmark else "no",
        f"{benchmark_seconds(phase_benchmark):.2f}" if phase_benchmark else "NA",
    ]


def write_table(path, rows):
    with open(path, "w") as f:
        f.write("\t".join(SUMMARY_COLUMNS) + "\n")
        for row in rows:
            f.write("\t".join(row) + "\n")


def has_current_header(path):
    """Whether a summary table has this version's header (an earlier run's table has fewer columns)."""
    try:
        with open(path) as f:
            return tuple(f.readline().rstrip("\n").split("\t")) == SUMMARY_COLUMNS
    except OSError:
        return True


def remove_old_tables(paths):
    """Removes each table with another header, so that Snakemake writes it again (an earlier
    version's table lacks columns that its rows cannot give); one note on standard error each."""
    for path in paths:
        if os.path.isfile(path) and not has_current_header(path):
            os.remove(path)
            print(f"ldtools workflow: {path} has the columns of an earlier version: written again", file=sys.stderr)


def read_rows(path):
    """The rows of a table written by write_table (after its header)."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        if tuple(header) != SUMMARY_COLUMNS:
            raise ValueError(f"{path}: not a summary table")
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def write_positions(path, chunk_length, markers):
    """The positions of a chromosome's marker file from its chunks' files (chunk k's file, the k-th,
    covers [k*L, (k+1)*L) and the pair window beyond, which the next chunk holds)."""
    with open(path, "w") as out:
        for chunk, name in enumerate(markers):
            first, end = chunk * chunk_length, (chunk + 1) * chunk_length
            with open(name) as f:
                for line in f:
                    word = line.split(None, 1)[0] if line.strip() else ""
                    if word.isdigit() and first <= int(word) < end:
                        out.write(word + "\n")


def write_index(path, summary):
    """The genome's start page: the summary table, each chromosome linking to its view."""
    rows = read_rows(summary)
    cells = lambda tag, values: "".join(f"<{tag}>{html.escape(value)}</{tag}>" for value in values)
    lines = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8"><title>LD maps</title>',
        "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
        "th,td{padding:.25em .75em;text-align:right;border-bottom:1px solid #ddd}"
        "th:first-child,td:first-child{text-align:left}</style></head><body>",
        "<h1>LD maps</h1>",
        "<table>",
        "<tr>" + cells("th", SUMMARY_COLUMNS) + "</tr>",
    ]
    for row in rows:
        link = urllib.parse.quote(row[0], safe="") + "/view/index.html"
        chrom = f'<td><a href="{html.escape(link)}">{html.escape(row[0])}</a></td>'
        lines.append("<tr>" + chrom + cells("td", row[1:]) + "</tr>")
    lines += ["</table>", "</body></html>"]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def main(args):
    command, output, *rest = args
    if command == "row":
        chrom, bounds, records, blocks, ldtile, snps, report, haplotypes, phase, *linkstat = rest
        given = [None if value == "-" else value for value in (snps, report, haplotypes, phase)]
        rows = [summary_row(chrom, bounds, records, blocks, ldtile, *given, linkstat)]
    elif command == "table":
        rows = [row for path in rest for row in read_rows(path)]
    elif command == "positions":
        chunk_length, *markers = rest
        write_positions(output, int(chunk_length), markers)
        return
    elif command == "index":
        write_index(output, rest[0])
        return
    else:
        raise SystemExit(f"ldworkflow.py: unknown command {command}")
    write_table(output, rows)


if __name__ == "__main__":
    main(sys.argv[1:])
