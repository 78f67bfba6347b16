#include "haplotypes.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "htsnps.hpp"
#include "idpower.hpp"
#include "snps.hpp"

namespace haplo {
namespace {

// Chromosomes a haplotype needs to count as common (more than this), and the chromosomes
// the "Hap80" haplotypes cover.
constexpr int commoncutoff = 5;
constexpr int majorcutoff = 80;

// Standard output through a buffer of its own, so that a failed write is noticed at
// once and reported with its reason.
class Output {
public:
    void print(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[256];
        va_list args;
        va_start(args, format);
        int length = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (length >= static_cast<int>(sizeof text)) {
            std::vector<char> longer(static_cast<size_t>(length) + 1);
            va_start(args, format);
            std::vsnprintf(longer.data(), longer.size(), format, args);
            va_end(args);
            buffer_.append(longer.data(), static_cast<size_t>(length));
        } else if (length > 0) {
            buffer_.append(text, static_cast<size_t>(length));
        }
        if (buffer_.size() >= (1u << 16)) flush();
    }

    void flush() {
        size_t done = 0;
        while (done < buffer_.size()) {
            ssize_t wrote = ::write(STDOUT_FILENO, buffer_.data() + done, buffer_.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote < 0) {
                int error = errno;
                buffer_.clear();
                failed_ = true;
                throw Failure(std::string("haplotypes: cannot write standard output: ") + std::strerror(error) + "\n");
            }
            done += static_cast<size_t>(wrote);
        }
        buffer_.clear();
    }

    // After another failure: writes what is still buffered if writing has not failed yet.
    void salvage() noexcept {
        if (failed_) return;
        try {
            flush();
        } catch (const Failure&) {
        }
    }

private:
    std::string buffer_;
    bool failed_ = false;
};

Output report;

struct CommandLine {
    std::string snpfilename, blockfilename, knownsnpfilename;
    bool usage = false;
};

// Options are read up to the first argument that does not begin with "-". Within one,
// the letters s, b and k take the next argument as their value and end the argument;
// other letters are ignored. An option letter without a value asks for the usage text.
CommandLine parsecommandline(int argc, char** argv) {
    CommandLine line;
    Known = 0;
    line.usage = argc <= 1;
    for (int a = 1; a < argc && argv[a][0] == '-'; ++a) {
        for (const char* letter = argv[a] + 1; *letter != '\0'; ++letter) {
            std::string* name = *letter == 's'   ? &line.snpfilename
                                : *letter == 'b' ? &line.blockfilename
                                : *letter == 'k' ? &line.knownsnpfilename
                                                 : nullptr;
            if (name == nullptr) continue;
            if (a + 1 >= argc) {
                line.usage = true;
                return line;
            }
            *name = argv[++a];
            if (*letter == 'k') Known = 1;
            break;
        }
    }
    return line;
}

void printusage() {
    report.print("Usage: haplotypes -s snpfile -b blockfile [-k knownsnpfile]\n");
    report.print("\t-s snpfile: name of complete snp file in qz.out format\n");
    report.print("\t-b blockfile: name of SORTED blockfile, no header, in block.dat format\n");
    report.print("\t-k knownsnpfile: same as snpfile\n\n");
}

void checknames(const CommandLine& line) {
    if (line.snpfilename.empty()) throw Failure("haplotypes: no SNP file given (-s snpfile)\n");
    if (line.blockfilename.empty()) throw Failure("haplotypes: no block file given (-b blockfile)\n");
    if (Known == 1 && line.knownsnpfilename.empty())
        throw Failure("haplotypes: no known-SNP file given (-k knownsnpfile)\n");
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

std::vector<haplotype> tallyblock(std::string (*build)(int, int, int), int first, int last) {
    std::vector<haplotype> haparray;
    haparray.reserve(numchroms);
    for (int i = 0; i < numchroms; ++i) addorcount(build(first, last, i), haparray);
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

void printheader() {
    report.print("SNP1\tSNP2\tN_SNPS\tAllHaps\tHap80\tHapC\tN_HapC\tNeedSNP\t%%HapsKn\t");
    if (Known == 1) report.print("K_SNPS\tK_Haps\tK_Hap80\tK_HapC\tN_KHapC\tNeedSNP\t");
}

// The known range of a block: from the first known SNP at or after the block's first
// position to the first at or after its last position, but never past the last known
// SNP. Empty (last = first - 1) when no known SNP lies at or after the block's start.
// Moves `knownsnpnum` past the range and counts the known SNPs skipped before it.
void knownrange(const std::array<int, 2>& block, int& knownsnpnum, int& knownnotinblocks, int& first, int& last) {
    int total = static_cast<int>(knownSNParray.size());
    while (knownsnpnum < total && getKnownPosition(knownsnpnum) < block[0]) {
        ++knownsnpnum;
        ++knownnotinblocks;
    }
    first = knownsnpnum;
    if (knownsnpnum == total) {
        last = first - 1;
        return;
    }
    while (knownsnpnum + 1 < total && getKnownPosition(knownsnpnum) < block[1]) ++knownsnpnum;
    last = knownsnpnum;
    ++knownsnpnum;
}

}  // namespace

std::string gethaplotype(int first, int last, int index) {
    std::string hap;
    for (int i = first; i <= last; ++i) hap.push_back(allelearray[i][index]);
    return hap;
}

std::string getknownhaplotype(int first, int last, int index) {
    std::string hap;
    for (int i = first; i <= last; ++i) hap.push_back(knownallelearray[i][index]);
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

int counthaplotypes(int firstsnp, int lastsnp) {
    TallyFigures figures = figuresof(tallyblock(gethaplotype, firstsnp, lastsnp));
    int identified = numberhapsknown(figures.common, getSNPpos(firstsnp));
    report.print("\n%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t", getSNPpos(firstsnp), getSNPpos(lastsnp), lastsnp - firstsnp + 1,
                 figures.hapindex, figures.majhaps, figures.commonhaps, figures.percentcommon, figures.htsnps);
    // No common haplotype: no chromosome to identify, so there is no fraction to show.
    if (figures.percentcommon == 0)
        report.print("NA\t");
    else
        report.print("%.2f\t", static_cast<double>(identified) / static_cast<double>(figures.percentcommon));
    return figures.hapindex;
}

int countknownhaplotypes(int firstsnp, int lastsnp) {
    TallyFigures figures = figuresof(tallyblock(getknownhaplotype, firstsnp, lastsnp));
    report.print("%d\t%d\t%d\t%d\t%d\t%d\t", lastsnp - firstsnp + 1, figures.hapindex, figures.majhaps,
                 figures.commonhaps, figures.percentcommon, figures.htsnps);
    return figures.hapindex;
}

// Blocks and SNPs are matched by position; the loaders guarantee that the blocks ascend,
// do not overlap and start and end at positions of the SNP table.
void findhaplotypes(int totalSNPs, int totalblocks) {
    printheader();
    int snpnum = 0, knownsnpnum = 0, notinblocks = 0, knownnotinblocks = 0;
    for (int blocknum = 0; blocknum < totalblocks; ++blocknum) {
        const std::array<int, 2>& block = blockarray[blocknum];
        while (getSNPpos(snpnum) != block[0]) {
            ++snpnum;
            ++notinblocks;
        }
        int firstsnp = snpnum;
        while (getSNPpos(snpnum) != block[1]) ++snpnum;
        int lastsnp = snpnum;
        counthaplotypes(firstsnp, lastsnp);
        ++snpnum;
        if (Known == 1) {
            int knownfirstsnp = 0, knownlastsnp = 0;
            knownrange(block, knownsnpnum, knownnotinblocks, knownfirstsnp, knownlastsnp);
            countknownhaplotypes(knownfirstsnp, knownlastsnp);
        }
    }
    for (; snpnum < totalSNPs; ++snpnum) {
        ++notinblocks;
        if (Known == 0 || snpKnown(getSNPpos(snpnum)) == 1) ++knownnotinblocks;
    }
    report.print("\n");
    report.print("notinblocks/known: %d\t", notinblocks);
    report.print("%d\n", knownnotinblocks);
}

void calcCoverage(const std::string& snpfilename, const std::string& blockfilename,
                  const std::string& knownsnpfilename) {
    int totalblocks = readblocksfromfile(blockfilename);
    int totalSNPs = readSNPfromfile(snpfilename);
    if (Known == 1) readKnownSNPfromfile(knownsnpfilename);
    checkblockpositions(blockfilename);
    findhaplotypes(totalSNPs, totalblocks);
}

int countcoveredSNPs(int totalSNPs, int totalblocks, std::FILE* out) {
    int snpnum = 0, blocknum = 0, covered = 0, notcovered = 0, notknown = 0;
    while (snpnum < totalSNPs) {
        int position = getSNPpos(snpnum);
        if (blocknum < totalblocks && position >= blockarray[blocknum][0]) {
            if (position <= blockarray[blocknum][1]) {
                ++covered;
                ++snpnum;
            } else {
                ++blocknum;
            }
            continue;
        }
        ++notcovered;
        if (Known == 1 && snpKnown(position) == 0) ++notknown;
        ++snpnum;
    }
    std::fprintf(out, "%d %d %d %d\n", totalSNPs, covered, notcovered, notknown);
    return covered;
}

int haplotypesmain(int argc, char** argv) {
    try {
        CommandLine line = parsecommandline(argc, argv);
        if (line.usage) {
            printusage();
            report.flush();
            return 1;
        }
        checknames(line);
        calcCoverage(line.snpfilename, line.blockfilename, line.knownsnpfilename);
        report.flush();
        return 0;
    } catch (const Failure& failure) {
        report.salvage();
        std::fputs(failure.what(), stderr);
        return 1;
    }
}

}  // namespace haplo
