#include "haplotypes.hpp"

#include <algorithm>
#include <optional>

#include "error.hpp"
#include "htsnps.hpp"
#include "idpower.hpp"
#include "replacefile.hpp"

namespace haplotypes {
namespace {

// Chromosomes a haplotype needs to count as common (more than this), and the chromosomes
// the "Hap80" haplotypes cover.
constexpr int kCommonCutoff = 5;
constexpr int kMajorCutoff = 80;

// What the report shows of a sorted tally.
struct TallyFigures {
    int hapindex = 0;
    int majhaps = 0;
    int commonhaps = 0;
    int percentcommon = 0;
    int htsnps = 0;
    std::vector<haplotype> common;
    std::vector<int> states;  // the htSNP search's SNP states
    SearchBudget search;      // what that search spent
};

using HaplotypeBuilder = std::string (*)(const Tables&, int, int, int);

std::vector<haplotype> tallyBlock(const Tables& tables, HaplotypeBuilder build, int first, int last) {
    std::vector<haplotype> haparray;
    haparray.reserve(numchroms);
    for (int i = 0; i < numchroms; ++i) addorcount(build(tables, first, last, i), haparray);
    sorthaplotypes(haparray);
    return haparray;
}

TallyFigures figuresOf(const std::vector<haplotype>& haparray, long long budget) {
    TallyFigures figures;
    figures.hapindex = static_cast<int>(haparray.size());
    figures.majhaps = countmajorhaps(haparray, kMajorCutoff);
    figures.commonhaps = countcommonhaps(haparray, kCommonCutoff);
    figures.percentcommon = countpercentcommonhaps(haparray, kCommonCutoff);
    figures.common = getcommonhaps(haparray, kCommonCutoff);
    figures.search = SearchBudget(budget);
    figures.states = findhtSNPs(figures.common, figures.search);
    figures.htsnps = static_cast<int>(std::count(figures.states.begin(), figures.states.end(), htSNP));
    return figures;
}

// The positions of the SNPs in the htSNP state, from the one at table index `first` on.
template <typename Position>
std::vector<int> htSNPpositions(const std::vector<int>& states, int first, Position position) {
    std::vector<int> positions;
    for (size_t snp = 0; snp < states.size(); ++snp)
        if (states[snp] == htSNP) positions.push_back(position(first + static_cast<int>(snp)));
    return positions;
}

void note(const RunContext& run, const std::string& line) {
    if (run.note) run.note(line);
}

std::string blockName(const BlockTags& tags) {
    return "haplotypes: block " + std::to_string(tags.first) + "-" + std::to_string(tags.last) + ": ";
}

// "-" for no position, else the positions joined by commas.
std::string positionList(const std::vector<int>& positions) {
    if (positions.empty()) return "-";
    std::string text = std::to_string(positions[0]);
    for (size_t i = 1; i < positions.size(); ++i) {
        text.push_back(',');
        text.append(std::to_string(positions[i]));
    }
    return text;
}

void printHeader(RunContext& run) {
    run.report.put("SNP1\tSNP2\tN_SNPS\tAllHaps\tHap80\tHapC\tN_HapC\tNeedSNP\t%HapsKn\t");
    if (run.tables.Known == 1) run.report.put("K_SNPS\tK_Haps\tK_Hap80\tK_HapC\tN_KHapC\tNeedSNP\t");
}

// The known range of a block: from the first known SNP at or after the block's first
// position to the first at or after its last position, but never past the last known
// SNP. Empty (last = first - 1) when no known SNP lies at or after the block's start.
// Moves `knownsnpnum` past the range and counts the known SNPs skipped before it.
void knownRange(const Tables& tables, const std::array<int, 2>& block, int& knownsnpnum, int& knownnotinblocks,
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

int counthaplotypes(RunContext& run, int firstsnp, int lastsnp, BlockTags& tags) {
    const Tables& tables = run.tables;
    TallyFigures figures = figuresOf(tallyBlock(tables, gethaplotype, firstsnp, lastsnp), run.budget);
    auto position = [&](int snp) { return getSNPpos(tables, snp); };
    tags.first = getSNPpos(tables, firstsnp);
    tags.last = getSNPpos(tables, lastsnp);
    tags.carriers = figures.percentcommon;
    tags.needed = figures.htsnps;
    tags.htSNPs = htSNPpositions(figures.states, firstsnp, position);
    if (figures.search.stopped())
        note(run, blockName(tags) + "htSNP search stopped after " + std::to_string(figures.search.used()) +
                      " subsets; NeedSNP is an upper bound\n");
    tags.minimumfound = false;
    if (run.tags != nullptr && figures.commonhaps > 0) {
        SearchBudget budget(run.budget);
        std::vector<int> minimum;
        tags.minimumfound = minimumhtSNPs(figures.common, budget, minimum);
        tags.minimum.clear();
        for (int snp : minimum) tags.minimum.push_back(getSNPpos(tables, firstsnp + snp));
        if (!tags.minimumfound)
            note(run, blockName(tags) + "minimum htSNP search stopped after " + std::to_string(budget.used()) +
                          " subsets; MinSNP and minimum_set are NA\n");
    }
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

int countknownhaplotypes(RunContext& run, int firstsnp, int lastsnp, BlockTags& tags) {
    const Tables& tables = run.tables;
    TallyFigures figures = figuresOf(tallyBlock(tables, getknownhaplotype, firstsnp, lastsnp), run.budget);
    tags.known = true;
    tags.knownneeded = figures.htsnps;
    tags.knownhtSNPs = htSNPpositions(figures.states, firstsnp, [&](int snp) { return getKnownPosition(tables, snp); });
    if (figures.search.stopped())
        note(run, blockName(tags) + "htSNP search over the known SNPs stopped after " +
                      std::to_string(figures.search.used()) + " subsets; the known NeedSNP (K_NeedSNP) is an upper bound\n");
    run.report.printf("%d\t%d\t%d\t%d\t%d\t%d\t", lastsnp - firstsnp + 1, figures.hapindex, figures.majhaps,
                      figures.commonhaps, figures.percentcommon, figures.htsnps);
    return figures.hapindex;
}

// Blocks and SNPs are matched by position; the loaders guarantee that the blocks ascend,
// do not overlap and start and end at positions of the SNP table.
void findhaplotypes(RunContext& run, int totalSNPs, int totalblocks) {
    const Tables& tables = run.tables;
    printHeader(run);
    if (run.tags != nullptr) run.tags->put(tagHeader());
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
        BlockTags tags;
        counthaplotypes(run, firstsnp, lastsnp, tags);
        ++snpnum;
        if (tables.Known == 1) {
            int knownfirstsnp = 0, knownlastsnp = 0;
            knownRange(tables, block, knownsnpnum, knownnotinblocks, knownfirstsnp, knownlastsnp);
            countknownhaplotypes(run, knownfirstsnp, knownlastsnp, tags);
        }
        if (run.tags != nullptr) run.tags->put(tagline(tags));
    }
    for (; snpnum < totalSNPs; ++snpnum) {
        ++notinblocks;
        if (tables.Known == 0 || snpKnown(tables, getSNPpos(tables, snpnum)) == 1) ++knownnotinblocks;
    }
    run.report.put("\n");
    run.report.printf("notinblocks/known: %d\t", notinblocks);
    run.report.printf("%d\n", knownnotinblocks);
}

std::string tagHeader() {
    return "SNP1\tSNP2\tN_HapC\tNeedSNP\thtSNPs\tMinSNP\tminimum_set\tK_NeedSNP\tK_htSNPs\n";
}

std::string tagline(const BlockTags& block) {
    std::string line = std::to_string(block.first) + "\t" + std::to_string(block.last) + "\t" +
                       std::to_string(block.carriers) + "\t" + std::to_string(block.needed) + "\t" +
                       positionList(block.htSNPs) + "\t";
    if (block.minimumfound)
        line += std::to_string(block.minimum.size()) + "\t" + positionList(block.minimum) + "\t";
    else
        line += "NA\tNA\t";
    if (block.known)
        line += std::to_string(block.knownneeded) + "\t" + positionList(block.knownhtSNPs) + "\n";
    else
        line += "NA\tNA\n";
    return line;
}

void calcCoverage(RunContext& run, const std::string& snpfilename, const std::string& blockfilename,
                  const std::string& knownsnpfilename, const std::string& tagfilename) {
    int totalblocks = readblocksfromfile(run.tables, blockfilename);
    int totalSNPs = readSNPfromfile(run.tables, snpfilename);
    if (run.tables.Known == 1) readKnownSNPfromfile(run.tables, knownsnpfilename);
    checkBlockPositions(run.tables, blockfilename);
    if (tagfilename.empty()) {
        findhaplotypes(run, totalSNPs, totalblocks);
        run.report.flush();
        return;
    }

    // The tag file is written under a temporary name and put in place once the report is
    // out, so a failed run leaves no part of it.
    auto tagFault = [&](const char* what, const ldtools::SystemError& error) {
        return fileFault(what, "tag", tagfilename, error);
    };
    std::optional<ldtools::ReplacementFile> tagfile;
    try {
        tagfile.emplace(tagfilename);
    } catch (const ldtools::SystemError& error) {
        throw tagFault("cannot open", error);
    }
    ldtools::BufferedWriter tags(tagfile->fd());
    run.tags = &tags;
    try {
        findhaplotypes(run, totalSNPs, totalblocks);
        run.report.flush();
        tags.flush();
    } catch (const ldtools::SystemError& error) {
        run.tags = nullptr;
        if (tags.failed()) throw tagFault("cannot write", error);
        throw;
    }
    run.tags = nullptr;
    try {
        tagfile->commit();
    } catch (const ldtools::SystemError& error) {
        throw tagFault("cannot write", error);
    }
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

}  // namespace haplotypes
