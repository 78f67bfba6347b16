#include "cli.hpp"

#include <htslib/hts.h>

#include <cstdio>
#include <exception>
#include <new>

#include "error.hpp"
#include "numbers.hpp"

namespace ldview {
namespace {

const char kUsage[] =
    "Usage: ldview -d BOUNDS [-b BLOCKS] [-t TAGS] [-i IDS] [-m MAP] [-c CHROM] [-w WIDTH] -o DIR\n"
    "\n"
    "Writes a folder that shows a chromosome's LD map in a web browser, opened from disk\n"
    "(DIR/index.html): zoom from the whole chromosome down to single pairs, the blocks, tag SNPs\n"
    "and the recombination rate in step, the records under the pointer, search by ID or position.\n"
    "\n"
    "  -d, --bounds FILE     LD bounds: plain text, gzip, or the indexed form (bounds.tsv.gz);\n"
    "                        every bound a whole number of hundredths from 0 to 1; required\n"
    "  -b, --blocks FILE     block file to outline (sorted or in the order found)\n"
    "  -t, --tags FILE       tag file of the block report: the SNPs of its htSNPs column are marked\n"
    "  -i, --ids FILE        variant IDs, a SNP a line: pos id ref alt (without it a SNP is named\n"
    "                        by its position)\n"
    "  -m, --map FILE        genetic map (columns pos chr cM, header line; gzip or plain):\n"
    "                        the recombination-rate track\n"
    "  -c, --chromosome NAME the chromosome of plain or gzip bounds (default chr); the indexed\n"
    "                        form names its own\n"
    "  -w, --width PIXELS    the window width the overview is computed for exactly, as ldplot -w\n"
    "                        draws it, 400 to 10000 (default 1600)\n"
    "  -T, --threads N       threads (default: every processor, at most 8)\n"
    "  -o, --output DIR      the view's folder, replaced whole when the view is complete; required\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n";

using ldtools::OptionRule;

constexpr OptionRule kOptions[] = {
    {'d', "bounds", true},     {'b', "blocks", true},    {'t', "tags", true},   {'i', "ids", true},
    {'m', "map", true},        {'c', "chromosome", true}, {'w', "width", true}, {'T', "threads", true},
    {'o', "output", true},     {'h', "help", false},     {'V', "version", false, true},
};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("ldview", message);
}

bool fitChromosomeName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) <= ' ' || c == '#' || c == '{' || c == '}') return false;
    return true;
}

}  // namespace

const char* usageText() {
    return kUsage;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    Options& options = result.options;
    auto apply = [&](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
        case 'd': options.bounds = value; break;
        case 'b': options.blocks = value; break;
        case 't': options.tags = value; break;
        case 'i': options.ids = value; break;
        case 'm': options.map = value; break;
        case 'o': options.output = value; break;
        case 'c':
            // The name goes into the view's address (#CHROM:FROM-TO, braced as #{CHROM}:FROM-TO when it
            // holds a ':').
            if (!fitChromosomeName(value))
                usageError("-c takes a chromosome name without white space, '#', '{' or '}', not '" + value + "'");
            options.chromosome = value;
            options.chromosomeGiven = true;
            break;
        case 'w': options.width = ldtools::wholeOptionValue("ldview", value, "-w", kMinWidth, kMaxWidth); break;
        case 'T': options.threads = ldtools::wholeOptionValue("ldview", value, "-T", 1, 256); break;
        }
        if (value.empty() && std::string("dbtimo").find(rule.letter) != std::string::npos)
            usageError("the file name of " + ldtools::optionName(rule) + " is empty");
    };
    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kOptions, "ldview", apply, [](const std::string& operand) { usageError("unexpected argument '" + operand + "'"); });
    result.action = read.action;
    if (result.action != ldtools::CommandAction::run) return result;
    if (read.given.find('d') == std::string::npos) usageError("-d BOUNDS is required");
    if (read.given.find('o') == std::string::npos) usageError("-o DIR is required");
    return result;
}

int runCli(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    // htslib's own warnings would break the one-line messages; its failures surface as errors.
    hts_set_log_level(HTS_LOG_OFF);
    try {
        const CommandLine command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (command.action != ldtools::CommandAction::run)
            return ldtools::answerCommand(command.action, kUsage, "ldview");
        catchStopSignals();
        const ViewSummary summary = buildView(command.options);
        std::string folder = command.options.output;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        std::printf("ldview: %zu SNPs, %llu pairs, %zu blocks; view written to %s/index.html (%.1f MB)\n",
                    summary.snps, static_cast<unsigned long long>(summary.pairs), summary.blocks, folder.c_str(),
                    static_cast<double>(summary.bytes) / 1e6);
        if (std::fflush(stdout) != 0) {
            std::fputs("ldview: cannot write standard output\n", stderr);
            return 1;
        }
        return 0;
    } catch (const Stopped& stopped) {
        endWith(stopped.signal);
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("ldview: not enough memory\n", stderr);
    } catch (const std::exception& error) {
        std::fputs(("ldview: " + std::string(error.what()) + "\n").c_str(), stderr);
    }
    return 1;
}

}  // namespace ldview
