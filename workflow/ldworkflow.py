"""Helpers of the whole-genome workflow (workflow/Snakefile): the settings read from the config,
the programs of the tool-chain and what they support, the chromosomes and chunks of the input,
and the per-chromosome rows of the summary table.

Standard library only. Everything that reads a VCF/BCF file or its index goes through `tabix`
(htslib): the sequence names of the index, the header, and region queries.
"""

import os
import re
import shlex
import shutil
import subprocess
import tempfile

# Pairs of markers closer than this are evaluated by linkstat; a chunk's markers reach this far
# beyond the chunk so that every pair whose first marker lies inside the chunk is evaluated.
PAIR_WINDOW = 200000

CONFIG_KEYS = (
    "vcf", "chromosomes", "samples", "hap_samples", "maf", "known_every", "known_positions",
    "chunk_length", "outdir", "linkstat_threads", "bindir",
)

# Program name -> folder of the program in a build tree.
PROGRAMS = {
    "vcf2markers": "vcf2markers",
    "linkstat": "linkstat",
    "ldtile": "ldtile",
    "haplotypes": "Haplotypes",
    "ldplot": "ldplot",
}

SUMMARY_COLUMNS = (
    "chrom", "snps", "pairs", "blocks", "snps_in_blocks", "mean_block_span", "mean_NeedSNP",
    "seconds_linkstat", "seconds_ldtile", "seconds_haplotypes",
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
        unknown = sorted(set(config) - set(CONFIG_KEYS))
        if unknown:
            raise ConfigError("config: unknown key(s) " + ", ".join(unknown) +
                              "; the keys are " + ", ".join(CONFIG_KEYS))
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

    @property
    def has_known(self):
        return bool(self.known_every or self.known_positions)

    def known_file(self, chrom):
        return self.known_positions.replace("{chrom}", chrom)

    def individuals_options(self):
        """vcf2markers options for the marker individuals and the MAF (chunks and whole chromosomes)."""
        options = []
        if self.samples:
            options += ["-S", self.samples]
        options += ["-m", self.maf]
        return " ".join(shlex.quote(option) for option in options)

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


def check_chromosome_name(name, where):
    if name == "" or "/" in name or any(c.isspace() for c in name) or name in (".", ".."):
        raise ConfigError(f"{where}: {name!r} cannot name a chromosome folder")


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
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, timeout=60, **kwargs)


class Programs:
    """Where the programs are, and which of the newer options they understand."""

    def __init__(self, bindir, repo):
        where = f"in {bindir}" if bindir else f"in {os.path.join(repo, 'build', 'release')} or on PATH"
        self.paths = {}
        for name in ("vcf2markers", "linkstat", "ldtile", "haplotypes"):
            path = find_program(name, bindir, repo)
            if path is None:
                raise ConfigError(f"cannot find the program {name} {where} (build the project, or set bindir)")
            self.paths[name] = path
        self.ldplot = find_program("ldplot", bindir, repo)
        self.tabix = shutil.which("tabix")
        if self.tabix is None:
            raise ConfigError("cannot find tabix on PATH (Debian package tabix)")
        self.bounds_only = linkstat_writes_bounds_only(self.paths["linkstat"])
        self.linkstat_threads = linkstat_has_threads(self.paths["linkstat"])
        self.tags = haplotypes_writes_tags(self.paths["haplotypes"])

    def command(self, name):
        """The program's path, quoted for a shell command."""
        return shlex.quote(self.ldplot if name == "ldplot" else self.paths[name])


def _probe_markers(folder):
    path = os.path.join(folder, "probe.markers.txt")
    with open(path, "w") as f:
        f.write("100\t8\t3\tACACACCA\n150\t8\t3\tACCAACAC\n400000\t8\t3\tAACCACAC\n")
    return path


def linkstat_writes_bounds_only(linkstat):
    """True when `linkstat -D` writes exactly the four-number records of `linkstat -P`."""
    with tempfile.TemporaryDirectory(prefix="ldworkflow-") as folder:
        markers = _probe_markers(folder)
        try:
            bounds = _run([linkstat, "-D", "-I" + markers])
            report = _run([linkstat, "-P", "-I" + markers])
        except (OSError, subprocess.SubprocessError):
            return False
    if bounds.returncode != 0 or report.returncode != 0:
        return False
    records = b"".join(line for line in report.stdout.splitlines(keepends=True) if len(line.split()) == 4)
    return records != b"" and bounds.stdout == records


def linkstat_has_threads(linkstat):
    """True when linkstat's help names the option -T (worker threads)."""
    try:
        result = _run([linkstat, "--help"])
    except (OSError, subprocess.SubprocessError):
        return False
    text = (result.stdout + result.stderr).decode("utf-8", "replace")
    return result.returncode == 0 and re.search(r"(^|\s)-T", text) is not None


def haplotypes_writes_tags(haplotypes):
    """True when `haplotypes ... -t FILE` writes a tag file."""
    with tempfile.TemporaryDirectory(prefix="ldworkflow-") as folder:
        snps = os.path.join(folder, "snps.txt")
        blocks = os.path.join(folder, "blocks.txt")
        tags = os.path.join(folder, "tags.txt")
        with open(snps, "w") as f:
            f.write("100\t100\t51\t" + "01" * 50 + "\n200\t100\t51\t" + "0011" * 25 + "\n")
        with open(blocks, "w") as f:
            f.write("SNP1\tindex\tSNP2\tindex\n100\t0\t200\t1\n")
        try:
            result = _run([haplotypes, "-s", snps, "-b", blocks, "-t", tags])
        except (OSError, subprocess.SubprocessError):
            return False
        return result.returncode == 0 and os.path.isfile(tags) and os.path.getsize(tags) > 0


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
    """The chromosomes of the input and their chunks. The index is only read when needed, and every
    answer is kept, so a job started on a cluster node does not repeat the look-ups."""

    def __init__(self, settings, tabix):
        self.settings = settings
        self.tabix = tabix
        self.per_chromosome = "{chrom}" in settings.vcf
        self._chromosomes = None
        self._headers = {}
        self._names = {}
        self._spans = {}

    def vcf(self, chrom):
        return self.settings.vcf.replace("{chrom}", chrom)

    def inputs(self, chrom):
        """The VCF/BCF file holding the chromosome and its index (job inputs)."""
        path = self.vcf(chrom)
        return {"vcf": path, "index": index_of(path) or path + ".csi"}

    # tabix --------------------------------------------------------------------------------------

    def _tabix(self, *args):
        result = _run([self.tabix, *args])
        if result.returncode != 0:
            message = result.stderr.decode("utf-8", "replace").strip()
            raise ConfigError(f"tabix {' '.join(args)} failed: {message}")
        return result.stdout.decode("utf-8", "replace")

    def _check_file(self, path):
        if not os.path.isfile(path):
            raise ConfigError(f"no such VCF/BCF file: {path}")
        if index_of(path) is None:
            raise ConfigError(f"{path} has no index ({os.path.basename(path)}.csi or .tbi); "
                              "make one with tabix -p vcf (bgzipped VCF) or bcftools index")

    def _index_names(self, path):
        if path not in self._names:
            self._check_file(path)
            self._names[path] = [name for name in self._tabix("-l", path).splitlines() if name]
        return self._names[path]

    def _starts_at_or_after(self, path, chrom, position):
        """True when a record of chrom starts at position or later."""
        process = subprocess.Popen([self.tabix, path, f"{chrom}:{position}-"], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        found = False
        try:
            for line in process.stdout:
                fields = line.split(b"\t", 2)
                if len(fields) >= 2 and fields[1].isdigit() and int(fields[1]) >= position:
                    found = True
                    break
        finally:
            if found:
                process.kill()
            process.stdout.close()
            error = process.stderr.read()
            process.stderr.close()
            status = process.wait()
        if not found and status != 0:
            raise ConfigError(f"tabix {path} {chrom}:{position}- failed: "
                              f"{error.decode('utf-8', 'replace').strip()}")
        return found

    def _has_records(self, path, chrom):
        return self._starts_at_or_after(path, chrom, 1)

    def _last_start(self, path, chrom, known_start=1):
        """The position of the last record of chrom (0 without records), by bisection over
        region queries of the index: a few dozen look-ups, whatever the size of the file."""
        if not self._starts_at_or_after(path, chrom, known_start):
            return 0
        low, high = known_start, max(2 * known_start, 1 << 20)
        while self._starts_at_or_after(path, chrom, high):
            low, high = high, 2 * high
            if high > (1 << 32):
                raise ConfigError(f"{path}: positions on {chrom} beyond 2^32")
        while high - low > 1:
            middle = (low + high) // 2
            if self._starts_at_or_after(path, chrom, middle):
                low = middle
            else:
                high = middle
        return low

    def _contig_lengths(self, path):
        if path not in self._headers:
            lengths = {}
            for line in self._tabix("-H", path).splitlines():
                if not line.startswith("##contig=<"):
                    continue
                name = re.search(r"[<,]ID=([^,>]+)", line)
                length = re.search(r"[<,]length=(\d+)", line)
                if name and length:
                    lengths[name.group(1)] = int(length.group(1))
            self._headers[path] = lengths
        return self._headers[path]

    # chromosomes ----------------------------------------------------------------------------------

    def chromosomes(self):
        if self._chromosomes is None:
            self._chromosomes = self._find_chromosomes()
        return self._chromosomes

    def _find_chromosomes(self):
        wanted = self.settings.chromosomes
        if wanted == "all" and not self.per_chromosome:
            path = self.vcf("")
            names = self._index_names(path)
            if path.endswith(".bcf"):
                # A BCF index lists every contig of the header, with records or not.
                names = [name for name in names if self._has_records(path, name)]
            if not names:
                raise ConfigError(f"no chromosome with records found in {path}")
            for name in names:
                check_chromosome_name(name, path)
            return names
        if wanted == "all":
            wanted = self._glob_chromosomes()
            if not wanted:
                raise ConfigError(f"no file matches {self.settings.vcf}")
        for chrom in wanted:
            path = self.vcf(chrom)
            if chrom not in self._index_names(path):
                listed = self._index_names(path)
                shown = ", ".join(listed[:10]) + (", ..." if len(listed) > 10 else "")
                raise ConfigError(f"chromosome {chrom} is not in the index of {path} "
                                  f"(it lists {shown or 'nothing'})")
            if not self._has_records(path, chrom):
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
        return names

    # chunks ----------------------------------------------------------------------------------------

    def span(self, chrom):
        """The last position the chunks must cover: the contig length of the header, or, without
        one (or with records beyond it), the position of the last record."""
        if chrom not in self._spans:
            path = self.vcf(chrom)
            self._check_file(path)
            length = self._contig_lengths(path).get(chrom)
            if length is not None and not self._starts_at_or_after(path, chrom, length + 1):
                self._spans[chrom] = length
            else:
                self._spans[chrom] = self._last_start(path, chrom, 1 if length is None else length + 1)
        return self._spans[chrom]

    def chunk_count(self, chrom):
        return self.span(chrom) // self.settings.chunk_length + 1

    def chunk_range(self, chunk):
        """[first, end) of chunk number `chunk`."""
        first = int(chunk) * self.settings.chunk_length
        return first, first + self.settings.chunk_length

    def chunk_region(self, chrom, chunk):
        """The vcf2markers region of a chunk: the chunk and the pair window beyond it."""
        first, end = self.chunk_range(chunk)
        return f"{chrom}:{max(first, 1)}-{end - 1 + PAIR_WINDOW}"


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


def summary_row(chrom, snps, bounds, report, linkstat_benchmarks, ldtile_benchmark, haplotypes_benchmark):
    snp_count = count_lines(snps)
    blocks = report_blocks(report)
    in_blocks = sum(row[2] for row in blocks)
    return [
        chrom,
        str(snp_count),
        str(count_lines(bounds)),
        str(len(blocks)),
        f"{in_blocks / snp_count:.4f}" if snp_count else "NA",
        _mean([row[1] - row[0] for row in blocks], 3),
        _mean([row[3] for row in blocks], 2),
        f"{sum(benchmark_seconds(path) for path in linkstat_benchmarks):.2f}",
        f"{benchmark_seconds(ldtile_benchmark):.2f}",
        f"{benchmark_seconds(haplotypes_benchmark):.2f}",
    ]


def write_table(path, rows):
    with open(path, "w") as f:
        f.write("\t".join(SUMMARY_COLUMNS) + "\n")
        for row in rows:
            f.write("\t".join(row) + "\n")


def read_rows(path):
    """The rows of a table written by write_table (after its header)."""
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        if tuple(header) != SUMMARY_COLUMNS:
            raise ValueError(f"{path}: not a summary table")
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]
