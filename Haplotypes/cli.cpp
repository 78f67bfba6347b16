// The command line of haplotypes. Options are read up to the first word that does not begin with
// "-". Within an option word, the letters s, b, k, t and w take the next word, whatever it holds,
// as their value and end the word; other letters are ignored. A value-taking letter that is the
// last word, or no words at all, ask for the usage text (status 1). --help and --version, as
// whole words among the options, answer at once.

#include "cli.hpp"

#include <unistd.h>

#include <string>
#include <vector>

#include "arguments.hpp"
#include "error.hpp"
#include "haplotypes.hpp"
#include "numbers.hpp"
#include "replacefile.hpp"

namespace haplotypes {
namespace {

struct CommandLine {
    std::string snpfilename, blockfilename, knownsnpfilename, tagfilename, budget;
    bool known = false, tags = false, budgetgiven = false;
};

using ldtools::OptionRule;
using ldtools::ValueForm;

constexpr OptionRule kRules[] = {
    {.letter = 's', .takesValue = true, .form = ValueForm::next},
    {.letter = 'b', .takesValue = true, .form = ValueForm::next},
    {.letter = 'k', .takesValue = true, .form = ValueForm::next},
    {.letter = 't', .takesValue = true, .form = ValueForm::next},
    {.letter = 'w', .takesValue = true, .form = ValueForm::next},
    ldtools::kHelpWord,
    ldtools::kVersionWord,
};

constexpr ldtools::ArgumentPolicy kPolicy{
    .program = "haplotypes",
    .rules = kRules,
    .letters = ldtools::LetterForm::run,
    .plainWords = ldtools::PlainWord::endsOptions,
    .unknown = ldtools::UnknownLetter::ignored,
    .missing = ldtools::MissingValue::usage,
    .repeats = true,
    .longOptions = false,
    .usageWithoutWords = true,
};

ldtools::CommandAction readCommandLine(int argc, char** argv, CommandLine& line) {
    auto apply = [&line](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
            case 's': line.snpfilename = value; break;
            case 'b': line.blockfilename = value; break;
            case 'k': line.knownsnpfilename = value; line.known = true; break;
            case 't': line.tagfilename = value; line.tags = true; break;
            case 'w': line.budget = value; line.budgetgiven = true; break;
        }
    };
    const std::vector<std::string> words = ldtools::wordsAfterName(argc, argv);
    return ldtools::readArguments(words, kPolicy, {.option = apply}).action;
}

void printUsage(ldtools::BufferedWriter& out) {
    out.put("Usage: haplotypes -s snpfile -b blockfile [-k knownsnpfile]\n");
    out.put("\t-s snpfile: name of complete snp file in qz.out format\n");
    out.put("\t-b blockfile: name of SORTED blockfile, no header, in block.dat format\n");
    out.put("\t-k knownsnpfile: same as snpfile\n\n");
}

// --help: the usage, then the options it does not name.
void printHelp(ldtools::BufferedWriter& out) {
    printUsage(out);
    out.put("Further options:\n");
    out.put("\t-t tagfile: also write each block's htSNPs and a smallest set of tag SNPs to tagfile\n");
    out.printf("\t-w N: let each htSNP search test at most N subsets (default %lld; 0: no limit)\n", kDefaultBudget);
    out.put("\t--help, --version: this text; the program's version\n");
}

void checkNames(const CommandLine& line) {
    if (line.snpfilename.empty()) throw ldtools::Error("haplotypes: no SNP file given (-s snpfile)\n");
    if (line.blockfilename.empty()) throw ldtools::Error("haplotypes: no block file given (-b blockfile)\n");
    if (line.known && line.knownsnpfilename.empty())
        throw ldtools::Error("haplotypes: no known-SNP file given (-k knownsnpfile)\n");
    if (line.tags && line.tagfilename.empty()) throw ldtools::Error("haplotypes: no tag file given (-t tagfile)\n");
    // Renaming the tag file over an input would lose that input.
    if (!line.tags) return;
    const std::pair<const std::string*, const char*> inputs[] = {
        {&line.snpfilename, "SNP"}, {&line.blockfilename, "block"}, {&line.knownsnpfilename, "known-SNP"}};
    for (const auto& [name, kind] : inputs) {
        if (!name->empty() && ldtools::sameFile(line.tagfilename, *name))
            throw ldtools::Error("haplotypes: cannot write tag file " + line.tagfilename + ": it is the " + kind +
                                 " file\n");
    }
}

long long budgetOf(const CommandLine& line) {
    if (!line.budgetgiven) return kDefaultBudget;
    int value = 0;
    if (ldtools::parseInt32(line.budget, value) != ldtools::WholeNumber::ok || value < 0)
        throw ldtools::Error("haplotypes: -w " + line.budget +
                             ": the work budget must be a whole number from 0 (no limit) to 2147483647\n");
    return value;
}

}  // namespace

int haplotypesMain(int argc, char** argv) {
    ldtools::BufferedWriter out(STDOUT_FILENO);
    try {
        CommandLine line;
        switch (readCommandLine(argc, argv, line)) {
            case ldtools::CommandAction::usage:
                printUsage(out);
                out.flush();
                return 1;
            case ldtools::CommandAction::help:
                printHelp(out);
                out.flush();
                return 0;
            case ldtools::CommandAction::version:
                out.put(ldtools::versionLine("haplotypes"));
                out.flush();
                return 0;
            case ldtools::CommandAction::run: break;
        }
        checkNames(line);
        RunContext run(out);
        run.budget = budgetOf(line);
        run.tables.Known = line.known ? 1 : 0;
        run.note = [](const std::string& text) { std::fputs(text.c_str(), stderr); };
        calcCoverage(run, line.snpfilename, line.blockfilename, line.knownsnpfilename, line.tagfilename);
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
