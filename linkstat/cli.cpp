// The command line of linkstat. Every option is a word of its own: a minus sign, one letter and, for
// a value-taking letter, the value written right after it (-Imarkers.txt). -I and -O also take the
// next word, whatever it holds, when nothing is attached; a bare -I or -O at the end has the empty
// value. -R and -T take only what is attached. Of a flag's word only the letter counts (-Pxyz is
// -P); unknown letters and words that do not begin with "-" are ignored; a repeated option and the
// last of -A, -E and -K decide. --help and --version, as words of their own, answer at once.

#include "cli.hpp"

#include <cstdio>
#include <new>
#include <vector>

#include "linkstat.hpp"
#include "report.hpp"
#include "run.hpp"
#include "workers.hpp"

namespace linkstat {

namespace {

constexpr std::size_t kMaxNameLength = 511;     // -I and -O values
constexpr std::size_t kMaxMissingLength = 104;  // -R value

using ldtools::OptionRule;
using ldtools::ValueForm;

constexpr OptionRule kRules[] = {
    {.letter = 'A'},
    {.letter = 'B'},
    {.letter = 'D'},
    {.letter = 'E'},
    {.letter = 'H'},
    {.letter = 'I', .takesValue = true, .form = ValueForm::attachedOrNext},
    {.letter = 'K'},
    {.letter = 'O', .takesValue = true, .form = ValueForm::attachedOrNext},
    {.letter = 'P'},
    {.letter = 'R', .takesValue = true, .form = ValueForm::attached},
    {.letter = 'S'},
    {.letter = 'T', .takesValue = true, .form = ValueForm::attached},
    ldtools::kHelpWord,
    ldtools::kVersionWord,
};

constexpr ldtools::ArgumentPolicy kPolicy{
    .program = "linkstat",
    .rules = kRules,
    .letters = ldtools::LetterForm::first,
    .plainWords = ldtools::PlainWord::ignored,
    .unknown = ldtools::UnknownLetter::ignored,
    .missing = ldtools::MissingValue::empty,
    .repeats = true,
    .longOptions = false,
};

std::string optionValue(const std::string& value, char letter, std::size_t limit) {
    if (value.size() > limit) throw optionTooLong(letter);
    return value;
}

void writeStandardOutput(const std::string& text) {
    try {
        ldtools::writeAll(1, text.data(), text.size());
    } catch (const ldtools::SystemError&) {
        throw outputWrite("stdout");
    }
}

// Writes each piece of the message with its own call; returns the exit status.
int printFailure(const Failure& failure) {
    for (const std::string& piece : failure.pieces()) std::fputs(piece.c_str(), stderr);
    return failure.status();
}

}  // namespace

Settings readOptions(int argc, char** argv) {
    Settings s;
    auto apply = [&s](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
            case 'A': s.mode = HaploMode::actual; break;
            case 'B': s.Bounds = 1; break;
            case 'D': s.recordsOnly = true; s.Position = 1; break;
            case 'E': s.mode = HaploMode::em; break;
            case 'H': s.header = true; break;
            case 'I': s.inputName = optionValue(value, rule.letter, kMaxNameLength); s.haveInput = true; break;
            case 'K': s.mode = HaploMode::known; break;
            case 'O': s.outputName = optionValue(value, rule.letter, kMaxNameLength); s.haveOutput = true; break;
            case 'P': s.Position = 1; break;
            case 'R': s.missing = optionValue(value, rule.letter, kMaxMissingLength); break;
            case 'S': s.separator = true; break;
            case 'T': s.threads = ldtools::threadCountOption(value); break;
            default: break;
        }
    };
    const std::vector<std::string> words = ldtools::wordsAfterName(argc, argv);
    const ldtools::ArgumentsRead read = ldtools::readArguments(words, kPolicy, {.option = apply});
    if (read.action == ldtools::CommandAction::help) s.request = Request::help;
    if (read.action == ldtools::CommandAction::version) s.request = Request::version;
    return s;
}

std::string usageText() {
    return "Usage: linkstat -Ifile [-E|-K|-A] [-P] [-D] [-H] [-B] [-S] [-Rchars] [-Tn] [-Ofile]\n"
           "Likelihood bounds of D' for every pair of markers less than 200000 positions apart.\n"
           "  -Ifile   marker file to read (required); -I file works too\n"
           "  -Ofile   write the report to file instead of standard output; -O file works too\n"
           "  -E       estimate the phase of double heterozygotes by EM (default)\n"
           "  -K       leave double heterozygotes out\n"
           "  -A       read the allele strings as phased chromosomes\n"
           "  -P       start each pair line with both positions instead of their distance\n"
           "  -D       write only the bounds lines (first, second position, lower, upper); implies -P\n"
           "  -H       write a header line\n"
           "  -B       end the header line with the columns Lower and Upper\n"
           "  -S       write a line \">\" after each marker set\n"
           "  -Rchars  each of chars stands for a missing allele, as \"-\" does\n"
           "  -Tn      compute with n threads (default and bare -T: one per processor it may run on)\n"
           "  --help     show this text\n"
           "  --version  show the version\n"
           "See linkstat(1) for the file formats and messages.\n";
}

int linkstatMain(int argc, char** argv, const Tuning& tuning, BoundsTally* tally) {
    try {
        const Settings settings = readOptions(argc, argv);
        if (settings.request == Request::help) {
            writeStandardOutput(usageText());
            return 0;
        }
        if (settings.request == Request::version) {
            writeStandardOutput(ldtools::versionLine("linkstat"));
            return 0;
        }
        if (!settings.haveInput) throw needInputFile();
        runFile(settings, tuning, tally);
        return 0;
    } catch (const Failure& failure) {
        return printFailure(failure);
    } catch (const std::bad_alloc&) {
        return printFailure(notEnoughMemory());
    }
}

}  // namespace linkstat
