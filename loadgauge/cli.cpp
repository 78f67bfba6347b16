// The command line of loadgauge: at most one word, the number of processes (default 1). Every
// word is that number, also one that begins with "-"; only a command line that is just --help or
// --version asks for the help text or the version.

#include "cli.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "error.hpp"
#include "loadgauge.hpp"

namespace loadgauge {
namespace {

constexpr ldtools::OptionRule kRules[] = {
    ldtools::kHelpWord,
    ldtools::kVersionWord,
};

constexpr ldtools::ArgumentPolicy kPolicy{
    .program = "loadgauge",
    .rules = kRules,
    .letters = ldtools::LetterForm::none,
    .plainWords = ldtools::PlainWord::operand,
    .longOptions = false,
    .help = ldtools::HelpPlace::onlyWord,
};

const char* const kUsageText =
    "Usage: loadgauge [number-of-processes]\n"
    "Records, for a window of 2 seconds cut into 20000 slots of 100 microseconds, which of\n"
    "number-of-processes (default 1, at most 255) low-priority busy processes held a processor,\n"
    "and prints one line \"TIME PROCESS\" per slot and running process (process 0: none ran).\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

}  // namespace

Args parseArgs(int argc, const char* const* argv) {
    Args args;
    std::vector<std::string> operands;
    const std::vector<std::string> words = ldtools::wordsAfterName(argc, argv);
    args.action = ldtools::readArguments(words, kPolicy,
                                         {.operand = [&operands](const std::string& word) { operands.push_back(word); }})
                      .action;
    if (args.action != ldtools::CommandAction::run) return args;
    if (operands.size() > 1) {
        args.error = "Usage: loadgauge [number-of-processes]\n";
        return args;
    }
    // Same reading as atoi (leading blanks, a sign, digits, anything after
    // ignored, no digits giving 0), but a value beyond the range of int keeps
    // its sign instead of wrapping.
    args.nprocs = operands.empty() ? 1 : std::strtol(operands.front().c_str(), nullptr, 10);
    if (args.nprocs < 1) {
        args.error = "loadgauge: less than one process!\n";
    } else if (args.nprocs > MAXPROCS) {
        args.error = "loadgauge: too many processes (at most 255)!\n";
    }
    return args;
}

int loadgaugeMain(int argc, char** argv) {
    try {
        const Args args = parseArgs(argc, argv);
        if (args.action == ldtools::CommandAction::help) {
            writeText(STDOUT_FILENO, kUsageText);
            return 0;
        }
        if (args.action == ldtools::CommandAction::version) {
            writeText(STDOUT_FILENO, ldtools::versionLine("loadgauge"));
            return 0;
        }
        if (args.error != nullptr) throw ldtools::Error(args.error);
        return measure(static_cast<int>(args.nprocs));
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    }
}

}  // namespace loadgauge
