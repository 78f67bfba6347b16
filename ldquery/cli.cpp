#include "cli.hpp"

#include <htslib/hts.h>

#include <cstdio>
#include <new>

#include "error.hpp"
#include "numbers.hpp"
#include "writer.hpp"

namespace ldquery {
namespace {

const char kUsage[] =
    "Usage: ldquery -d BOUNDS [-i IDS] [-b BLOCKS] [-C CLASS] [-l LOWER] SNP...\n"
    "\n"
    "Lists every partner of each SNP in an LD bounds file (the pairs less than 200,000 apart\n"
    "that have the SNP at one end), tab-separated with a header line: the SNP as named, its\n"
    "position, the partner's position and ID, the lower and upper bound, the class of the pair\n"
    "and, with -b, the SNP's block and whether the partner lies in it. A SNP is a position\n"
    "(decimal digits) or an ID of the ID file; an ID that names several SNPs lists each.\n"
    "The indexed form (bounds.tsv.gz with its index) is read only around each SNP; any other\n"
    "form is read whole.\n"
    "\n"
    "  -d, --bounds FILE     LD bounds: plain, gzip or indexed (required)\n"
    "  -i, --ids FILE        variant IDs, pos id ref alt a line (vcf2markers PREFIX.ids.txt)\n"
    "  -b, --blocks FILE     block file (ldtile -f) for the block columns\n"
    "  -C, --class CLASS     only pairs of this class: strong, recombination, uninformative\n"
    "  -l, --min-lower X     only pairs whose lower bound is at least X\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n";

using ldtools::OptionRule;

constexpr OptionRule kOptions[] = {
    {'d', "bounds", true}, {'i', "ids", true},  {'b', "blocks", true},         {'C', "class", true},
    {'l', "min-lower", true}, {'h', "help", false}, {'V', "version", false, true},
};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("ldquery", message);
}

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("ldquery: " + message + "\n");
}

bool allDigits(const std::string& word) {
    if (word.empty()) return false;
    for (const char c : word)
        if (c < '0' || c > '9') return false;
    return true;
}

ldtools::IdTable readIds(const std::string& name) {
    try {
        return ldtools::IdTable::read(name, "");
    } catch (const ldtools::InputError& error) {
        fail("cannot " + error.operation() + " ID file " + name + ": " + error.what());
    } catch (const ldtools::FormatError& error) {
        fail(name + ": line " + std::to_string(error.line()) + ": " + error.what());
    }
}

// A SNP as the command line names it, with the positions it stands for.
struct Query {
    std::string name;
    std::vector<std::int32_t> positions;
};

std::vector<Query> resolve(const Options& options, const ldtools::IdTable* ids) {
    std::vector<Query> queries;
    for (const std::string& snp : options.snps) {
        Query query{snp, {}};
        std::int32_t position = 0;
        if (allDigits(snp)) {
            if (ldtools::parseInt32(snp, position) != ldtools::WholeNumber::ok)
                fail("position " + snp + " lies beyond 2147483647");
            if (ids != nullptr && ids->nameAt(position) == nullptr)
                fail("position " + snp + " is not a SNP of " + options.ids);
            query.positions.push_back(position);
        } else {
            if (ids == nullptr) fail("the SNP " + ldtools::quotable(snp) + " is not a position; IDs need an ID file (-i)");
            query.positions = ids->positionsOf(snp);
            if (query.positions.empty()) fail("no SNP of " + options.ids + " has the ID " + ldtools::quotable(snp));
        }
        queries.push_back(std::move(query));
    }
    return queries;
}

}  // namespace

const char* usageText() {
    return kUsage;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine command;
    Options& options = command.options;
    auto apply = [&](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
        case 'd': options.bounds = value; break;
        case 'i': options.ids = value; break;
        case 'b': options.blocks = value; break;
        case 'C': {
            ldtools::PairClass pairClass{};
            if (!classNamed(value, pairClass))
                usageError("-C takes strong, recombination or uninformative, not '" + ldtools::quotable(value) + "'");
            options.filter.pairClass = pairClass;
            break;
        }
        case 'l': {
            double lower = 0.0;
            if (!ldtools::parseDecimal(value, lower)) usageError("-l takes a number, not '" + ldtools::quotable(value) + "'");
            options.filter.minLower = lower;
            break;
        }
        }
    };
    const ldtools::ArgumentsRead read =
        ldtools::readArguments(args, kOptions, "ldquery", apply, [&](const std::string& operand) {
            if (operand.empty()) usageError("a SNP is empty");
            options.snps.push_back(operand);
        });
    command.action = read.action;
    if (command.action != ldtools::CommandAction::run) return command;
    if (options.bounds.empty()) usageError("-d BOUNDS is required");
    if (read.given.find('i') != std::string::npos && options.ids.empty()) usageError("the file name of -i is empty");
    if (read.given.find('b') != std::string::npos && options.blocks.empty()) usageError("the file name of -b is empty");
    if (options.snps.empty()) usageError("no SNP given");
    return command;
}

std::string queryTable(const Options& options) {
    std::optional<ldtools::IdTable> ids;
    if (!options.ids.empty()) ids = readIds(options.ids);
    std::vector<BlockSpan> blocks;
    const bool withBlocks = !options.blocks.empty();
    if (withBlocks) blocks = readBlocks(options.blocks);
    const std::vector<Query> queries = resolve(options, ids ? &*ids : nullptr);

    std::string table = "snp\tsnp_pos\tpos\tid\tlower\tupper\tclass";
    if (withBlocks) table += "\tblock\tsame_block";
    table += '\n';
    for (const Query& query : queries) {
        for (const std::int32_t position : query.positions) {
            std::vector<Partner> partners;
            try {
                partners = partnersOf(options.bounds, position);
            } catch (const ldtools::BoundsFileError& error) {
                fail(error.what());
            }
            // Without an ID file the SNPs are those of the bounds file: one in no pair is none.
            if (partners.empty() && !ids)
                fail("position " + std::to_string(position) + " is in no pair of " + options.bounds);
            const BlockSpan* block = withBlocks ? blockOf(blocks, position) : nullptr;
            std::string blockText = "-";
            if (block != nullptr) blockText = std::to_string(block->first) + "-" + std::to_string(block->last);
            for (const Partner& partner : partners) {
                if (!options.filter.admits(partner)) continue;
                const std::string* id = ids ? ids->nameAt(partner.position) : nullptr;
                table += query.name + '\t' + std::to_string(position) + '\t' + std::to_string(partner.position) + '\t' +
                         (id != nullptr ? *id : std::string(".")) + '\t' + partner.lower + '\t' + partner.upper + '\t' +
                         className(partner.pairClass);
                if (withBlocks) {
                    const bool same = block != nullptr && partner.position >= block->first && partner.position <= block->last;
                    table += '\t' + blockText + (same ? "\tyes" : "\tno");
                }
                table += '\n';
            }
        }
    }
    return table;
}

int runCommandLine(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    // htslib's own warnings would break the one-line messages; its failures surface as errors.
    hts_set_log_level(HTS_LOG_OFF);
    try {
        const CommandLine command = parseCommandLine(ldtools::wordsAfterName(argc, argv));
        if (command.action != ldtools::CommandAction::run)
            return ldtools::answerCommand(command.action, kUsage, "ldquery");
        const std::string table = queryTable(command.options);
        ldtools::BufferedWriter out;
        out.attach(1, std::size_t{1} << 16);
        try {
            out.put(table);
            out.flush();
        } catch (const ldtools::SystemError& error) {
            fail("cannot write standard output: " + error.reason());
        }
        return 0;
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("ldquery: not enough memory\n", stderr);
        return 1;
    }
}

}  // namespace ldquery
