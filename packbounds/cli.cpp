#include "cli.hpp"

#include <htslib/hts.h>

#include <cstdio>
#include <memory>
#include <new>

#include "boundsformat.hpp"
#include "error.hpp"
#include "numbers.hpp"
#include "replacefile.hpp"
#include "writer.hpp"

namespace packbounds {
namespace {

const char kUsage[] =
    "Usage: packbounds -c CHROM -o BOUNDS.tsv.gz [-p] [-T N] [-l LEVEL] [INPUT...]\n"
    "\n"
    "Writes the records of LD bounds files (linkstat -D; plain, gzip or indexed; none or - for\n"
    "standard input, read in turn as one stream of records) as the indexed form of a bounds file:\n"
    "BGZF with the header line #chrom pos1 pos2 lower upper, one record a line, and a tabix\n"
    "index beside it (BOUNDS.tsv.gz.tbi), so that 'tabix BOUNDS.tsv.gz CHROM:FROM-TO' finds the\n"
    "pairs that touch a region.\n"
    "\n"
    "  -c, --chromosome NAME  the chromosome of the records (required)\n"
    "  -o, --output FILE      the indexed file, replaced with its index only when both are\n"
    "                         complete (required)\n"
    "  -p, --pass             also write the records to standard output, as linkstat -D does\n"
    "  -T, --threads N        compressing threads, 1 to 64 (default 2)\n"
    "  -l, --level N          compression level, 1 (fastest) to 9 (smallest) (default 2)\n"
    "  -h, --help             show this help\n"
    "      --version          show the version\n";

using ldtools::OptionRule;

constexpr OptionRule kOptions[] = {
    {'c', "chromosome", true}, {'o', "output", true}, {'p', "pass", false},  {'T', "threads", true},
    {'l', "level", true},      {'h', "help", false},  {'V', "version", false, true},
};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("packbounds", message);
}

[[noreturn]] void fail(const std::string& message) {
    throw ldtools::Error("packbounds: " + message + "\n");
}

std::string inputName(const std::string& operand) {
    return operand == "-" ? std::string("/dev/stdin") : operand;
}

// The records as linkstat -D writes them: first, second, an empty field, lower, upper.
void passOn(ldtools::BufferedWriter& out, const ldtools::BoundsWords& words) {
    out.put(words.first);
    out.put('\t');
    out.put(words.second);
    out.put("\t\t", 2);
    out.put(words.lower);
    out.put('\t');
    out.put(words.upper);
    out.put('\n');
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
        case 'c':
            if (!ldtools::fitsChromosomeField(value))
                usageError("-c takes a chromosome name without white space that does not begin with '#', not '" +
                           ldtools::quotable(value) + "'");
            options.chromosome = value;
            break;
        case 'o':
            if (value.empty()) usageError("the file name of -o is empty");
            options.output = value;
            break;
        case 'p': options.pass = true; break;
        case 'T': options.settings.threads = ldtools::wholeOptionValue("packbounds", value, "-T", 1, 64); break;
        case 'l': options.settings.level = ldtools::wholeOptionValue("packbounds", value, "-l", 1, 9); break;
        }
    };
    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kOptions, "packbounds", apply, [&](const std::string& operand) {
            if (operand.empty()) usageError("an input file name is empty");
            options.inputs.push_back(operand);
        });
    command.action = read.action;
    if (command.action != ldtools::CommandAction::run) return command;
    if (read.given.find('c') == std::string::npos) usageError("-c CHROM is required");
    if (read.given.find('o') == std::string::npos) usageError("-o FILE is required");
    if (options.inputs.empty()) options.inputs.push_back("-");
    return command;
}

std::uint64_t packBounds(const Options& options) {
    for (const std::string& input : options.inputs)
        if (input != "-" && ldtools::sameFile(input, options.output))
            fail("the output " + options.output + " would replace the input file " + input);
    std::unique_ptr<ldtools::IndexedBoundsWriter> writer;
    try {
        writer = std::make_unique<ldtools::IndexedBoundsWriter>(options.output, options.chromosome, options.settings);
    } catch (const ldtools::BoundsWriteError& error) {
        fail("cannot write " + options.output + ": " + error.what());
    }
    ldtools::BufferedWriter out;
    if (options.pass) out.attach(1, std::size_t{1} << 20);
    try {
        bool havePrevious = false;
        ldtools::BoundsRecord previous;
        std::string previousName;
        for (const std::string& operand : options.inputs) {
            const std::unique_ptr<ldtools::BoundsSource> source = ldtools::openBounds(inputName(operand));
            ldtools::BoundsRecord record;
            ldtools::BoundsWords words;
            bool first = true;
            while (source->next(record, words)) {
                if (first) {
                    first = false;
                    if (source->indexed() && source->chromosome() != options.chromosome)
                        fail(source->name() + " holds the records of chromosome " +
                             ldtools::quotable(source->chromosome()) + ", not " + options.chromosome);
                    // The inputs are one stream of records: each file goes on after the one before.
                    if (havePrevious && (record.first < previous.first ||
                                         (record.first == previous.first && record.second <= previous.second)))
                        fail("the records of " + source->name() + " do not go on after those of " + previousName +
                             " (" + std::to_string(record.first) + " " + std::to_string(record.second) + " after " +
                             std::to_string(previous.first) + " " + std::to_string(previous.second) + ")");
                }
                writer->add(record, words);
                if (options.pass) passOn(out, words);
                previous = record;
                havePrevious = true;
            }
            previousName = source->name();
        }
        if (options.pass) out.flush();
        writer->commit();
    } catch (const ldtools::BoundsFileError& error) {
        fail(error.what());
    } catch (const ldtools::BoundsWriteError& error) {
        fail("cannot write " + options.output + ": " + error.what());
    } catch (const ldtools::SystemError& error) {
        fail("cannot write standard output: " + error.reason());
    }
    return writer->records();
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
            return ldtools::answerCommand(command.action, kUsage, "packbounds");
        packBounds(command.options);
        return 0;
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("packbounds: not enough memory\n", stderr);
        return 1;
    }
}

}  // namespace packbounds
