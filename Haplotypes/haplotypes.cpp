#include "haplotypes.hpp"

#include <unistd.h>

#include "cli.hpp"
#include "error.hpp"
#include "htsnps.hpp"
#include "idpower.hpp"

namespace haplotypes {
namespace {

// Chromosomes a haplotype needs to count as common (more than this), and the chromosomes
// the "Hap80" haplotypes cover.
constexpr int commoncutoff = 5;
constexpr int majorcutoff = 80;

struct CommandLine {
    std::string snpfilename, blockfilename, knownsnpfilename;
    bool known = false;
    enum class Action { analyse, usage, help, version } action = Action::analyse;
};

// Options are read up to the first argument that does not begin with "-". Within one,
// the letters s, b and k take the next argument as their value and end the argument;
// other letters are ignored. An option letter without a value asks for the usage text.
// --help and --version, as whole arguments among the options, answer at once.
CommandLine parsecommandline(int argc, char** argv) {
    CommandLine line;
    if (argc <= 1) line.action = CommandLine::Action::usage;
    for (int a = 1; a < argc && argv[a][0] == '-'; ++a) {
        if (ldtools::isHelpOption(argv[a]) || ldtools::isVersionOption(argv[a])) {
            line.action = ldtools::isHelpOption(argv[a]) ? CommandLine::Action::help : CommandLine::Action::version;
            return line;
        }
        for (const char* letter = argv[a] + 1; *letter != '\0'; ++letter) {
            std::string* name = *letter == 's'   ? &line.snpfilename
                                : *letter == 'b' ? &line.blockfilename
                                : *letter == 'k' ? &line.knownsnpfilename
                                                 : nullptr;
            if (name == nullptr) continue;
            if (a + 1 >= argc) {
                line.action = CommandLine::Action::usage;
                return line;
            }
            *name = argv[++a];
            if (*letter == 'k') line.known = true;
            break;
        }
    }
    return line;
}

void printusage(ldtools::BufferedWriter& out) {
    out.put("Usage: haplotypes -s snpfile -b blockfile [-k knownsnpfile]\n");
    out.put("\t-s snpfile: name of complete snp file in qz.out format\n");
    out.put("\t-b blockfile: name of SORTED blockfile, no header, in block.dat format\n");
    out.put("\t-k knownsnpfile: same as snpfile\n\n");
}

void checknames(const CommandLine& line) {
    if (line.snpfilename.empty()) throw ldtools::Error("haplotypes: no SNP file given (-s snpfile)\n");
    if (line.blockfilename.empty()) throw ldtools::Error("haplotypes: no block file given (-b blockfile)\n");
    if (line.known && line.knownsnpfilename.empty())
        throw ldtools::Error("haplotypes: no known-SNP file given (-k knownsnpfile)\n");
}

// What the report shows of a sorted tally.
struct TallyFigures {
    int hapindex = 0;
    int majhaps = 0;
    int commonhaps = 0;
    int percentcommon = 0;
    int htsnps = 0;
    std::vector<haplotype> common;
};

using HaplotypeBuilder = std::string (*)(const Tables&, int, int, int);

std::vector<haplotype> tallyblock(const Tables& tables, HaplotypeBuilder build, int first, int last) {
    std::vector<haplotype> haparray;
    haparray.reserve(numchroms);
    for (int i = 0; i < numchroms; ++i) addorcount(build(tables, first, last, i), haparray);
    sorthaplotypes(haparray);
    return haparray;
}

TallyFigures figuresof(const std::vector<haplotype>& haparray) {
    TallyFigures figures;
    figures.hapindex = static_cast<int>(haparray.size());
    figures.majhaps = countmajorhaps(haparray, majorcutoff);
    figures.commonhaps = countcommonhaps(haparray, commoncutoff);
    figures.percentcommon = countpercentcommonhaps(haparray, commoncutoff);
    figures.common = getcommonhaps(haparray, commoncutoff);
    figures.htsnps = gethtSNPs(figures.common);
    return figures;
}

void printheader(RunContext& run) {
    run.report.put("SNP1\tSNP2\tN_SNPS\tAllHaps\tHap80\tHapC\tN_HapC\tNeedSNP\t%HapsKn\t");
    if (run.tables.Known == 1) run.report.put("K_SNPS\tK_Haps\tK_Hap80\tK_HapC\tN_KHapC\tNeedSNP\t");
}

// The known range of a block: from the first known SNP at or after the block's first
// position to the first at or after its last position, but never past the last known
// SNP. Empty (last = first - 1) when no known SNP lies at or after the block's start.
// Moves `knownsnpnum` past the range and counts the known SNPs skipped before it.
void knownrange(const Tables& tables, const std::array<int, 2>& block, int& knownsnpnum, int& knownnotinblocks,
                int& first, int& last) {
    int total = static_cast<int>(tables.knownSNParray.size());
    while (knownsnpnum < total && getKnownPosition(tables, knownsnpnum) < block[0]) {
        ++knownsnpnum;
        ++knownnotinblocks;
    }
    first = knownsnpnum;
    if (knownsnpnum == total) {
        last = first - 1;
        return;
    }
    while (knownsnpnum + 1 < total && getKnownPosition(tables, knownsnpnum) < block[1]) ++knownsnpnum;
    last = knownsnpnum;
    ++knownsnpnum;
}

}  // namespace

std::string gethaplotype(const Tables& tables, int first, int last, int index) {
    std::string hap;
    for (int i = first; i <= last; ++i) hap.push_back(tables.allelearray[i][index]);
    return hap;
}

std::string getknownhaplotype(const Tables& tables, int first, int last, int index) {
    std::string hap;
    for (int i = first; i <= last; ++i) hap.push_back(tables.knownallelearray[i][index]);
    return hap;
}

int hapsequal(const std::string& hap, const std::string& comparehap) {
    for (size_t i = 0; i < hap.size(); ++i)
        if (i >= comparehap.size() || comparehap[i] != hap[i]) return 0;
    return 1;
}

int addorcount(std::string hap, std::vector<haplotype>& haparray) {
    for (haplotype& entry : haparray)
        if (hapsequal(hap, entry.hap)) {
            ++entry.count;
            return static_cast<int>(haparray.size());
        }
    haparray.push_back({std::move(hap), 1});
    return static_cast<int>(haparray.size());
}

void sorthaplotypes(std::span<haplotype> haparray) {
    for (size_t i = 0; i + 1 < haparray.size(); ++i)
        for (size_t j = i; j < haparray.size(); ++j)
            if (haparray[i].count < haparray[j].count) std::swap(haparray[i], haparray[j]);
}

int countmajorhaps(std::span<const haplotype> haparray, int cutoff) {
    int taken = 0, total = 0;
    while (taken < static_cast<int>(haparray.size()) && total < cutoff) total += haparray[taken++].count;
    return taken;
}

int countcommonhaps(std::span<const haplotype> haparray, int cutoff) {
    int common = 0;
    for (const haplotype& h : haparray)
        if (h.count > cutoff) ++common;
    return common;
}

int countpercentcommonhaps(std::span<const haplotype> haparray, int cutoff) {
    int carriers = 0;
    for (const haplotype& h : haparray)
        if (h.count > cutoff) carriers += h.count;
    return carriers;
}

std::vector<haplotype> getcommonhaps(std::span<const haplotype> haparray, int cutoff) {
    std::vector<haplotype> common;
    for (const haplotype& h : haparray)
        if (h.count > cutoff) common.push_back(h);
    return common;
}

void printhaplotypes(std::span<const haplotype> haparray, std::FILE* out) {
    for (const haplotype& h : haparray) std::fprintf(out, "%s  %d\n", h.hap.c_str(), h.count);
}

int counthaplotypes(RunContext& run, int firstsnp, int lastsnp) {
    const Tables& tables = run.tables;
    TallyFigures figures = figuresof(tallyblock(tables, gethaplotype, firstsnp, lastsnp));
    int identified = numberhapsknown(tables, figures.common, getSNPpos(tables, firstsnp));
    run.report.printf("\n%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t", getSNPpos(tables, firstsnp), getSNPpos(tables, lastsnp),
                      lastsnp - firstsnp + 1, figures.hapindex, figures.majhaps, figures.commonhaps,
                      figures.percentcommon, figures.htsnps);
    // No common haplotype: no chromosome to identify, so there is no fraction to show.
    if (figures.percentcommon == 0)
        run.report.put("NA\t");
    else
        run.report.printf("%.2f\t", static_cast<double>(identified) / static_cast<double>(figures.percentcommon));
    return figures.hapindex;
}

int countknownhaplotypes(RunContext& run, int firstsnp, int lastsnp) {
    TallyFigures figures = figuresof(tallyblock(run.tables, getknownhaplotype, firstsnp, lastsnp));
    run.report.printf("%d\t%d\t%d\t%d\t%d\t%d\t", lastsnp - firstsnp + 1, figures.hapindex, figures.majhaps,
                      figures.commonhaps, figures.percentcommon, figures.htsnps);
    return figures.hapindex;
}

// Blocks and SNPs are matched by position; the loaders guarantee that the blocks ascend,
// do not overlap and start and end at positions of the SNP table.
void findhaplotypes(RunContext& run, int totalSNPs, int totalblocks) {
    const Tables& tables = run.tables;
    printheader(run);
    int snpnum = 0, knownsnpnum = 0, notinblocks = 0, knownnotinblocks = 0;
    for (int blocknum = 0; blocknum < totalblocks; ++blocknum) {
        const std::array<int, 2>& block = tables.blockarray[blocknum];
        while (getSNPpos(tables, snpnum) != block[0]) {
            ++snpnum;
            ++notinblocks;
        }
        int firstsnp = snpnum;
        while (getSNPpos(tables, snpnum) != block[1]) ++snpnum;
        int lastsnp = snpnum;
        counthaplotypes(run, firstsnp, lastsnp);
        ++snpnum;
        if (tables.Known == 1) {
            int knownfirstsnp = 0, knownlastsnp = 0;
            knownrange(tables, block, knownsnpnum, knownnotinblocks, knownfirstsnp, knownlastsnp);
            countknownhaplotypes(run, knownfirstsnp, knownlastsnp);
        }
    }
    for (; snpnum < totalSNPs; ++snpnum) {
        ++notinblocks;
        if (tables.Known == 0 || snpKnown(tables, getSNPpos(tables, snpnum)) == 1) ++knownnotinblocks;
    }
    run.report.put("\n");
    run.report.printf("notinblocks/known: %d\t", notinblocks);
    run.report.printf("%d\n", knownnotinblocks);
}

void calcCoverage(RunContext& run, const std::string& snpfilename, const std::string& blockfilename,
                  const std::string& knownsnpfilename) {
    int totalblocks = readblocksfromfile(run.tables, blockfilename);
    int totalSNPs = readSNPfromfile(run.tables, snpfilename);
    if (run.tables.Known == 1) readKnownSNPfromfile(run.tables, knownsnpfilename);
    checkblockpositions(run.tables, blockfilename);
    findhaplotypes(run, totalSNPs, totalblocks);
}

int countcoveredSNPs(const Tables& tables, int totalSNPs, int totalblocks, std::FILE* out) {
    int snpnum = 0, blocknum = 0, covered = 0, notcovered = 0, notknown = 0;
    while (snpnum < totalSNPs) {
        int position = getSNPpos(tables, snpnum);
        if (blocknum < totalblocks && position >= tables.blockarray[blocknum][0]) {
            if (position <= tables.blockarray[blocknum][1]) {
                ++covered;
                ++snpnum;
            } else {
                ++blocknum;
            }
            continue;
        }
        ++notcovered;
        if (tables.Known == 1 && snpKnown(tables, position) == 0) ++notknown;
        ++snpnum;
    }
    std::fprintf(out, "%d %d %d %d\n", totalSNPs, covered, notcovered, notknown);
    return covered;
}

int haplotypesmain(int argc, char** argv) {
    ldtools::BufferedWriter out(STDOUT_FILENO);
    try {
        CommandLine line = parsecommandline(argc, argv);
        switch (line.action) {
            case CommandLine::Action::usage:
                printusage(out);
                out.flush();
                return 1;
            case CommandLine::Action::help:
                printusage(out);
                out.flush();
                return 0;
            case CommandLine::Action::version:
                out.put(ldtools::versionLine("haplotypes"));
                out.flush();
                return 0;
            case CommandLine::Action::analyse: break;
        }
        checknames(line);
        RunContext run(out);
        run.tables.Known = line.known ? 1 : 0;
        calcCoverage(run, line.snpfilename, line.blockfilename, line.knownsnpfilename);
        out.flush();
        return 0;
    } catch (const ldtools::SystemError& error) {
        // Only the report's writer throws these up to here.
        std::fputs(("haplotypes: cannot write standard output: " + error.reason() + "\n").c_str(), stderr);
        return 1;
    } catch (const ldtools::Error& error) {
        // What the report holds so far still goes out, unless writing it has failed.
        if (!out.failed()) {
            try {
                out.flush();
            } catch (const ldtools::SystemError&) {
            }
        }
        std::fputs(error.what(), stderr);
        return error.status();
    }
}

}  // namespace haplotypes
