// The command line of vcf2markers: Unix-style options (short and long forms, "--", one input file
// as the operand), checked against each other before anything is read.

#include "cli.hpp"

#include <htslib/hts.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "arguments.hpp"
#include "converter.hpp"
#include "describe.hpp"
#include "error.hpp"
#include "numbers.hpp"
#include "options.hpp"

namespace vcf2markers {
namespace {

// The exit status of a run whose haplotype individuals need phasing (--unphased report).
constexpr int kUnphasedStatus = 3;

const char kUsage[] =
    "Usage: vcf2markers [options] -o PREFIX INPUT.vcf|INPUT.vcf.gz|INPUT.bcf\n"
    "\n"
    "Turns the biallelic SNPs of one chromosome of a VCF/BCF file into a marker file\n"
    "(PREFIX.markers.txt), a phased SNP file of 50 individuals (PREFIX.snps.txt), the variant\n"
    "IDs of the marker file's SNPs (PREFIX.ids.txt: pos id ref alt) and, with -k or -e, a\n"
    "known-SNP file (PREFIX.known.txt).\n"
    "\n"
    "  -r, --region CHR:FROM-TO      only this region (needs the index next to INPUT)\n"
    "  -s, --samples LIST            marker individuals, comma-separated (default: all)\n"
    "  -S, --samples-file FILE       marker individuals, one name a line\n"
    "  -H, --hap-samples LIST        the 50 individuals of the SNP file, comma-separated\n"
    "                                (default: the first 50 marker individuals; 'none': no\n"
    "                                SNP file and no known-SNP file)\n"
    "  -F, --hap-samples-file FILE   the 50 individuals of the SNP file, one name a line\n"
    "  -m, --maf MAF                 minimum minor-allele frequency among the marker\n"
    "                                individuals' called alleles, 0 to 0.5 (default 0.05)\n"
    "  -k, --known FILE              known SNPs: positions, one a line, or a VCF/BCF file\n"
    "  -e, --every N                 known SNPs: every N-th SNP of the SNP file (1st, N+1-th, ...)\n"
    "  -o, --output PREFIX           prefix of the output files (required)\n"
    "      --unphased stop|report    a haplotype individual with an unphased heterozygous\n"
    "                                genotype or a missing allele: stop with its message\n"
    "                                (default), or report: write the marker file only, end\n"
    "                                with 'haplotype individuals unphased', status 3\n"
    "      --positions FILE          SNP and known-SNP files: only the positions of FILE (the\n"
    "                                first word of each line, e.g. a marker file)\n"
    "      --describe [-r CHR]       print the pair window and each chromosome's span\n"
    "                                (the last position its chunks must cover), no files\n"
    "  -h, --help                    show this help\n"
    "      --version                 show the version\n";

using ldtools::OptionRule;

constexpr OptionRule kOptions[] = {
    {'r', "region", true},       {'s', "samples", true}, {'S', "samples-file", true},
    {'H', "hap-samples", true},  {'F', "hap-samples-file", true},
    {'m', "maf", true},          {'k', "known", true},   {'e', "every", true},
    {'o', "output", true},       {'h', "help", false},   {'V', "version", false, true},
    {'D', "describe", false, true}, {'U', "unphased", true, true},
    {'P', "positions", true, true},
};

// No words at all ask for the usage text (on standard error, status 1).
constexpr ldtools::ArgumentPolicy kPolicy{.program = "vcf2markers", .rules = kOptions, .usageWithoutWords = true};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("vcf2markers", message);
}

double parseMaf(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    const bool whole = !text.empty() && end == begin + text.size() && errno == 0;
    // Only plain decimal numbers: no "nan", "inf" or hexadecimal forms.
    const bool plain = text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    if (!whole || !plain || !std::isfinite(value) || value < 0.0 || value > 0.5)
        usageError("-m takes a frequency from 0 to 0.5, not '" + text + "'");
    return value;
}

int parseEvery(const std::string& text) {
    std::int32_t value = 0;
    if (ldtools::parseInt32(text, value) != ldtools::WholeNumber::ok || value < 1)
        usageError("-e takes a whole number of at least 1, not '" + text + "'");
    return value;
}

}  // namespace

const char* usageText() {
    return kUsage;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    Options& options = result.options;
    std::vector<std::string> operands;
    auto apply = [&](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
        case 'r':
            options.region = value;
            break;
        case 's':
        case 'S':
        case 'H':
        case 'F': {
            const bool forMarkers = rule.letter == 's' || rule.letter == 'S';
            SampleChoice& choice = forMarkers ? options.markers : options.haplotypes;
            if (choice.kind != SampleChoice::Kind::byDefault)
                usageError(std::string("-") + choice.option + " and -" + rule.letter +
                           " cannot be given together");
            const bool isFile = rule.letter == 'S' || rule.letter == 'F';
            choice.kind = isFile ? SampleChoice::Kind::file : SampleChoice::Kind::list;
            if (rule.letter == 'H' && value == "none") choice.kind = SampleChoice::Kind::none;
            choice.value = value;
            choice.option = rule.letter;
            break;
        }
        case 'm':
            options.minMaf = parseMaf(value);
            break;
        case 'k':
            options.knownFile = value;
            break;
        case 'e':
            options.every = parseEvery(value);
            break;
        case 'o':
            options.prefix = value;
            break;
        case 'D':
            options.describe = true;
            break;
        case 'U':
            if (value == "stop") options.unphased = UnphasedMode::stop;
            else if (value == "report") options.unphased = UnphasedMode::report;
            else usageError("--unphased takes stop or report, not '" + value + "'");
            break;
        case 'P':
            if (value.empty()) usageError("the positions file name (--positions) is empty");
            options.positionsFile = value;
            break;
        }
    };

    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kPolicy, {.option = apply, .operand = [&](const std::string& operand) { operands.push_back(operand); }});
    result.action = read.action;
    if (result.action != CommandLine::Action::run) return result;
    const std::string& seen = read.given;

    if (operands.empty()) usageError("no input file given");
    if (operands.size() > 1) usageError("one input file expected, got " + std::to_string(operands.size()));
    options.input = operands.front();
    if (options.input.empty()) usageError("the input file name is empty");
    if (options.describe) {
        checkDescribeOptions(seen, options.region);
        return result;
    }
    if (seen.find('o') == std::string::npos) usageError("-o PREFIX is required");
    if (options.prefix.empty()) usageError("the output prefix (-o) is empty");
    if (options.prefix.back() == '/')
        usageError("-o takes a prefix for the file names, such as out/chr20, not a folder ('" + options.prefix + "')");
    if (!options.knownFile.empty() || seen.find('k') != std::string::npos) {
        if (options.knownFile.empty()) usageError("the known-SNP file name (-k) is empty");
        if (options.every != 0) usageError("-k and -e cannot be given together");
    }
    const bool knownWanted = seen.find('k') != std::string::npos || options.every != 0;
    if (knownWanted && options.haplotypes.kind == SampleChoice::Kind::none)
        usageError(std::string(seen.find('k') != std::string::npos ? "-k" : "-e") +
                   " needs the SNP file, which -H none leaves out");
    if (seen.find('r') != std::string::npos && options.region.empty()) usageError("the region (-r) is empty");
    return result;
}

int vcf2markersMain(int argc, char** argv) {
    // htslib's own warnings and errors would mix with the program's lines; every failure it
    // reports is turned into one of those.
    hts_set_log_level(HTS_LOG_OFF);
    try {
        CommandLine command = parseCommandLine(ldtools::wordsAfterName(argc, argv));
        if (command.action != CommandLine::Action::run) return ldtools::answerCommand(command.action, kUsage, "vcf2markers");
        if (command.options.describe) {
            const std::string text = descriptionText(describe(command.options.input, command.options.region));
            if (std::fputs(text.c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
                std::fputs("vcf2markers: cannot write standard output\n", stderr);
                return 1;
            }
            return 0;
        }
        command.options.progress = true;
        const Summary summary = convert(command.options);
        std::fputs(summaryLine(summary).c_str(), stderr);
        if (summary.unphased) {
            // The last line is the one a pipeline reads: it phases and converts again.
            std::fputs(summary.unphasedAt.c_str(), stderr);
            std::fputs("vcf2markers: haplotype individuals unphased\n", stderr);
            return kUnphasedStatus;
        }
        return 0;
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("vcf2markers: out of memory\n", stderr);
        return 1;
    }
}

}  // namespace vcf2markers
