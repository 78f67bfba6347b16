#include "converter.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "error.hpp"
#include "textscanner.hpp"
#include "known.hpp"
#include "output.hpp"
#include "progress.hpp"
#include "samples.hpp"
#include "sitefilter.hpp"
#include "vcfreader.hpp"

namespace vcf2markers {
namespace {

constexpr std::int64_t kLargestPosition = 2147483647;  // positions are 32-bit in the later steps

struct Individuals {
    std::vector<int> columns;        // in the reader's genotype arrays
    std::vector<std::string> names;  // as messages show them (control bytes escaped)
};

Individuals pick(const std::vector<int>& chosen, const std::vector<int>& used, const std::vector<int>& columns,
                 const std::vector<std::string>& names) {
    Individuals individuals;
    std::size_t u = 0;
    for (const int index : chosen) {
        while (used[u] != index) ++u;  // both ascending, chosen a subset of used
        individuals.columns.push_back(columns[u]);
        individuals.names.push_back(ldtools::quotable(names[static_cast<std::size_t>(index)]));
    }
    return individuals;
}

class Converter {
public:
    explicit Converter(const Options& options) : options_(options), reader_(options.input) {}
    Summary run();
    const std::string& warnings() const { return reader_.warnings(); }

private:
    std::string at(const std::string& message) const {
        return "vcf2markers: " + options_.input + ": position " + std::to_string(reader_.position()) + ": " + message +
               "\n";
    }
    [[noreturn]] void failAt(const std::string& message) const { throw ldtools::Error(at(message)); }
    // A haplotype genotype that phasing would mend: fails, or with --unphased report notes it,
    // drops the SNP and known-SNP files and returns false.
    bool needsPhase(const std::string& message) {
        if (options_.unphased == UnphasedMode::stop) failAt(message);
        summary_.unphased = true;
        summary_.unphasedAt = at(message);
        snpFile_.reset();
        knownFile_.reset();
        return false;
    }
    bool inPositions(std::int64_t position);
    // A genotype of two alleles, each missing, REF or ALT; else the error naming the individual.
    void checkDiploid(const Genotype& genotype, const std::int32_t* values, int ploidy, const std::string& name) const {
        if (genotype.first == kNoGenotype || genotype.second == kNoGenotype)
            failAt("individual " + name + " has no genotype (no GT value in its column)");
        if (genotype.first == kBadCode || genotype.second == kBadCode)
            failAt("individual " + name + " has a genotype code that stands for no allele (" + badCode(values) + ")");
        if (!genotype.diploid)
            failAt("individual " + name + " is not diploid (genotype " + genotypeText(values, ploidy) + ")");
        if (genotype.first > 1 || genotype.second > 1)
            failAt("individual " + name + " has a genotype with an allele the record lacks (" +
                   genotypeText(values, ploidy) + ")");
    }
    // The first of the two values that is no code of the encoding, in hexadecimal.
    static std::string badCode(const std::int32_t* values) {
        const std::int32_t value = alleleOf(values[0]) == kBadCode ? values[0] : values[1];
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
        return text;
    }
    void checkOrder(bool first);
    void markerAlleles(const std::int32_t* genotypes, int ploidy, Skip& verdict, int& called, int& ac);
    bool haplotypeAlleles(const std::int32_t* genotypes, int ploidy, int& ones);
    void writeKnown(std::int64_t position, int ones);
    void writeId(std::int64_t position);

    const Options& options_;
    VcfReader reader_;
    std::optional<KnownPositions> known_;
    Individuals markers_;
    Individuals haplotypes_;
    std::unique_ptr<OutputFile> markerFile_;
    std::unique_ptr<OutputFile> snpFile_;
    std::unique_ptr<OutputFile> knownFile_;
    std::unique_ptr<OutputFile> idFile_;
    std::string idText_;
    std::vector<std::int64_t> knownList_;
    std::size_t nextKnown_ = 0;
    std::size_t knownFound_ = 0;
    std::optional<std::vector<std::int64_t>> positions_;  // --positions
    std::size_t nextPosition_ = 0;
    std::string chromosome_;
    std::int64_t lastPosition_ = 0;
    std::string alleles_;
    std::string haplotypeText_;
    char letters_[3] = {'-', 'A', 'C'};  // missing, REF, ALT: indexed by allele + 1
    Summary summary_;
};

Summary Converter::run() {
    if (!options_.knownFile.empty()) known_ = KnownPositions::load(options_.knownFile);
    if (!options_.positionsFile.empty()) positions_ = loadPositionList(options_.positionsFile);
    const SampleSelection selection =
        selectSamples(reader_.samples(), options_.markers, options_.haplotypes, options_.input);
    const std::vector<int> columns = reader_.keepSamples(selection.used);
    markers_ = pick(selection.markers, selection.used, columns, reader_.samples());
    haplotypes_ = pick(selection.haplotypes, selection.used, columns, reader_.samples());
    if (!options_.region.empty()) reader_.setRegion(options_.region);
    summary_.limited = positions_ && !selection.haplotypes.empty();

    markerFile_ = std::make_unique<OutputFile>(options_.prefix + ".markers.txt");
    if (!haplotypes_.columns.empty()) snpFile_ = std::make_unique<OutputFile>(options_.prefix + ".snps.txt");
    if (known_ || options_.every > 0) knownFile_ = std::make_unique<OutputFile>(options_.prefix + ".known.txt");
    idFile_ = std::make_unique<OutputFile>(options_.prefix + ".ids.txt");

    ldtools::ProgressLine progress(options_.progress);
    std::int64_t lastWritten = -1;  // VCF allows position 0
    std::size_t records = 0;
    while (reader_.next()) {
        checkOrder(records == 0);
        if ((++records & 0xFFF) == 0 && progress.due())
            progress.show("vcf2markers: position " + std::to_string(reader_.position()) + ", " +
                          std::to_string(summary_.written) + " SNPs written");

        Skip verdict = alleleVerdict(reader_.record());
        if (verdict == Skip::none) {
            int ploidy = 0;
            const std::int32_t* genotypes = reader_.genotypes(ploidy);
            int called = 0;
            int ac = 0;
            markerAlleles(genotypes, ploidy, verdict, called, ac);
            if (verdict == Skip::none && reader_.position() == lastWritten) verdict = Skip::duplicatePosition;
            if (verdict == Skip::none) {
                const std::int64_t position = reader_.position();
                markerFile_->writeLine(position, called, ac + 1, alleles_);
                writeId(position);
                int ones = 0;
                if (snpFile_ && inPositions(position) && haplotypeAlleles(genotypes, ploidy, ones)) {
                    snpFile_->writeLine(position, static_cast<int>(haplotypeText_.size()), ones + 1, haplotypeText_);
                    writeKnown(position, ones);
                    ++summary_.inSnpFile;
                }
                ++summary_.written;
                lastWritten = position;
                continue;
            }
        }
        switch (verdict) {
        case Skip::belowMaf: ++summary_.belowMaf; break;
        case Skip::monomorphic: ++summary_.monomorphic; break;
        case Skip::otherAlleles: ++summary_.otherAlleles; break;
        case Skip::multiAllelic: ++summary_.multiAllelic; break;
        case Skip::duplicatePosition: ++summary_.duplicatePositions; break;
        case Skip::none: break;
        }
    }
    progress.clear();
    summary_.warnings = reader_.warnings();

    if (known_) {
        // Without records the region names the chromosome; without either, only a plain list
        // of positions applies.
        if (records == 0) knownList_ = known_->on(reader_.regionChromosome(), reader_.regionFirst(), reader_.regionLast());
        summary_.knownMissing = knownList_.size() - knownFound_;
    }

    // Every file is complete before the first one is put in place.
    markerFile_->flush();
    if (snpFile_) snpFile_->flush();
    if (knownFile_) knownFile_->flush();
    idFile_->flush();
    markerFile_->commit();
    if (snpFile_) snpFile_->commit();
    if (knownFile_) knownFile_->commit();
    idFile_->commit();
    // The SNP and known-SNP files of an earlier run must not pass for this run's.
    if (summary_.unphased)
        for (const char* suffix : {".snps.txt", ".known.txt"}) std::remove((options_.prefix + suffix).c_str());
    return summary_;
}

// Whether the SNP file takes the position: every one without --positions. Positions come in
// ascending order.
bool Converter::inPositions(std::int64_t position) {
    if (!positions_) return true;
    const std::vector<std::int64_t>& list = *positions_;
    while (nextPosition_ < list.size() && list[nextPosition_] < position) ++nextPosition_;
    return nextPosition_ < list.size() && list[nextPosition_] == position;
}

// One chromosome per run, positions in order along it.
void Converter::checkOrder(bool first) {
    const std::int64_t position = reader_.position();
    if (first) {
        chromosome_ = reader_.chromosome();
        if (known_) knownList_ = known_->on(chromosome_, reader_.regionFirst(), reader_.regionLast());
    } else if (chromosome_ != reader_.chromosome()) {
        throw ldtools::Error("vcf2markers: " + options_.input + " holds several chromosomes (" +
                             ldtools::quotable(chromosome_) + ", " + ldtools::quotable(reader_.chromosome()) +
                             "); choose one with -r\n");
    } else if (position < lastPosition_) {
        failAt("the records are not sorted (position " + std::to_string(lastPosition_) + " came before)");
    }
    if (position > kLargestPosition) failAt("positions above 2147483647 cannot be converted");
    lastPosition_ = position;
}

// Fills alleles_ with the marker individuals' letters and counts their called and ALT alleles.
void Converter::markerAlleles(const std::int32_t* genotypes, int ploidy, Skip& verdict, int& called, int& ac) {
    const bcf1_t& record = reader_.record();
    letters_[1] = static_cast<char>(record.d.allele[0][0] & ~0x20);  // upper case
    letters_[2] = static_cast<char>(record.d.allele[1][0] & ~0x20);
    alleles_.resize(2 * markers_.columns.size());
    char* out = alleles_.data();
    for (std::size_t i = 0; i < markers_.columns.size(); ++i) {
        const std::int32_t* values = genotypes + static_cast<std::ptrdiff_t>(markers_.columns[i]) * ploidy;
        if (ploidy == 2) {
            // The common case: two values that are each missing, REF or ALT, phased or not
            // (htslib's codes 0 to 5).
            const auto first = static_cast<std::uint32_t>(values[0]);
            const auto second = static_cast<std::uint32_t>(values[1]);
            if (first <= 5 && second <= 5) {
                static constexpr int kAllele[6] = {-1, -1, 0, 0, 1, 1};
                *out++ = letters_[kAllele[first] + 1];
                *out++ = letters_[kAllele[second] + 1];
                called += (first >= 2) + (second >= 2);
                ac += (first >= 4) + (second >= 4);
                continue;
            }
        }
        const Genotype genotype = decodeGenotype(values, ploidy);
        checkDiploid(genotype, values, ploidy, markers_.names[i]);
        *out++ = letters_[genotype.first + 1];
        *out++ = letters_[genotype.second + 1];
        called += (genotype.first >= 0) + (genotype.second >= 0);
        ac += (genotype.first == 1) + (genotype.second == 1);
    }
    verdict = frequencyVerdict(called, ac, options_.minMaf);
}

// Fills haplotypeText_ with the haplotype individuals' alleles as 0/1 and counts the 1s. Every
// one of them must be phased and complete; false when one is not and --unphased report notes it.
bool Converter::haplotypeAlleles(const std::int32_t* genotypes, int ploidy, int& ones) {
    haplotypeText_.resize(2 * haplotypes_.columns.size());
    char* out = haplotypeText_.data();
    ones = 0;
    for (std::size_t i = 0; i < haplotypes_.columns.size(); ++i) {
        const std::int32_t* values = genotypes + static_cast<std::ptrdiff_t>(haplotypes_.columns[i]) * ploidy;
        const Genotype genotype = decodeGenotype(values, ploidy);
        const std::string& name = haplotypes_.names[i];
        checkDiploid(genotype, values, ploidy, name);
        if (genotype.first < 0 || genotype.second < 0)
            return needsPhase("haplotype individual " + name + " has a missing allele (genotype " +
                              genotypeText(values, ploidy) + "); the SNP file needs both alleles of its individuals");
        if (genotype.first != genotype.second && !genotype.phased)
            return needsPhase("haplotype individual " + name + " has an unphased heterozygous genotype (" +
                              genotypeText(values, ploidy) + "); the SNP file needs phased genotypes");
        *out++ = static_cast<char>('0' + genotype.first);
        *out++ = static_cast<char>('0' + genotype.second);
        ones += genotype.first + genotype.second;
    }
    return true;
}

// The SNP just written to the marker file, by its ID: a SNP without one (".") is named
// chrom:pos:ref:alt, so that every SNP has a name that finds it.
void Converter::writeId(std::int64_t position) {
    const bcf1_t& record = reader_.record();
    const char* ref = record.d.allele[0];
    const char* alt = record.d.allele[1];
    const char* id = record.d.id;
    if (id == nullptr || id[0] == '\0' || (id[0] == '.' && id[1] == '\0')) {
        idText_.assign(chromosome_);
        idText_.push_back(':');
        idText_.append(std::to_string(position));
        idText_.push_back(':');
        idText_.append(ref);
        idText_.push_back(':');
        idText_.append(alt);
        id = idText_.c_str();
    }
    // The ID file separates its fields by white space: a name holding any would split its line.
    for (const char* c = id; *c != '\0'; ++c)
        if (ldtools::isBlank(*c))
            failAt("the variant ID '" + ldtools::quotable(id) + "' holds white space, which the ID file (" +
                   options_.prefix + ".ids.txt) cannot hold");
    idFile_->writeIdLine(position, id, ref, alt);
}

// The SNP just written to the SNP file goes to the known-SNP file too when it is known.
void Converter::writeKnown(std::int64_t position, int ones) {
    if (!knownFile_) return;
    bool isKnown = false;
    if (options_.every > 0) {
        isKnown = summary_.inSnpFile % static_cast<std::size_t>(options_.every) == 0;
    } else {
        while (nextKnown_ < knownList_.size() && knownList_[nextKnown_] < position) ++nextKnown_;
        if (nextKnown_ < knownList_.size() && knownList_[nextKnown_] == position) {
            isKnown = true;
            ++nextKnown_;
            ++knownFound_;
        }
    }
    if (isKnown) knownFile_->writeLine(position, static_cast<int>(haplotypeText_.size()), ones + 1, haplotypeText_);
}

}  // namespace

Summary convert(const Options& options) {
    Converter converter(options);
    try {
        return converter.run();
    } catch (const ldtools::Error& error) {
        // A warning may explain the failure (records an old index points past).
        if (converter.warnings().empty()) throw;
        throw ldtools::Error(converter.warnings() + error.what(), error.status());
    }
}

std::string summaryLine(const Summary& summary) {
    std::string line = summary.warnings + "vcf2markers: " + std::to_string(summary.written) + " SNPs written";
    const std::pair<std::size_t, const char*> reasons[] = {
        {summary.belowMaf, "below MAF"},
        {summary.monomorphic, "monomorphic"},
        {summary.otherAlleles, "indels or other alleles"},
        {summary.multiAllelic, "multi-allelic"},
        {summary.duplicatePositions, "duplicate positions"},
    };
    const char* separator = "; skipped ";
    for (const auto& [count, reason] : reasons) {
        if (count == 0) continue;
        line += separator + std::to_string(count) + " " + reason;
        separator = ", ";
    }
    if (summary.unphased) return line + "\n";
    if (summary.limited) line += "; " + std::to_string(summary.inSnpFile) + " in the SNP file";
    if (summary.knownMissing > 0)
        line += "; " + std::to_string(summary.knownMissing) + " known positions not in the SNP file";
    return line + "\n";
}

}  // namespace vcf2markers
