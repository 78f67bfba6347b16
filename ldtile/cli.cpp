// The command line of ldtile. Option words are read up to the first word that does not begin with
// "-". Each letter of an option word is an option; a value-taking letter (all of them are) takes
// the next word, whatever it holds, and ends its word. An illegal letter is reported on standard
// output; the letters after it in its word are still read, no later word is, and the usage text
// follows (status 1), as it does for no words at all and for a value-taking letter that is the
// last word. Each accepted option is echoed on standard output. --help and --version, read where
// an option word is read, print the usage text (with the values set so far) or the version.
// Errors of the run come here as exceptions and are printed on standard error.

#include "cli.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "boundsfile.hpp"
#include "error.hpp"
#include "ldtile.hpp"

namespace ldtile {
namespace {

struct Settings {
    std::string LDfilename = "foo.out";
    std::string blockfile = "block.dat";
    std::string datafile = "plot.dat";
    double LDpercentage = 0.95;
    double LDstrongthreshold = 0.9;
    int minblocksize = 500;
    std::string blockselectalg = "maxsize";
};

using ldtools::OptionRule;
using ldtools::ValueForm;

constexpr OptionRule kRules[] = {
    {.letter = 'b', .takesValue = true, .form = ValueForm::next},
    {.letter = 'd', .takesValue = true, .form = ValueForm::next},
    {.letter = 'f', .takesValue = true, .form = ValueForm::next},
    {.letter = 'o', .takesValue = true, .form = ValueForm::next},
    {.letter = 'p', .takesValue = true, .form = ValueForm::next},
    {.letter = 's', .takesValue = true, .form = ValueForm::next},
    {.letter = 't', .takesValue = true, .form = ValueForm::next},
    ldtools::kHelpWord,
    ldtools::kVersionWord,
};

constexpr ldtools::ArgumentPolicy kPolicy{
    .program = "ldtile",
    .rules = kRules,
    .letters = ldtools::LetterForm::run,
    .plainWords = ldtools::PlainWord::endsOptions,
    .unknown = ldtools::UnknownLetter::reported,
    .missing = ldtools::MissingValue::usage,
    .repeats = true,
    .longOptions = false,
    .usageWithoutWords = true,
};

// The leading decimal integer of a word (0 when there is none), limited to the range of int.
int leadingInt(const char* word) {
    long value = std::strtol(word, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Sets the option's value and echoes it.
void applyOption(Settings& settings, char letter, const char* value) {
    switch (letter) {
    case 'b':
        settings.minblocksize = leadingInt(value);
        std::printf("the min blocksize specified is %d\n", settings.minblocksize);
        break;
    case 'd':
        settings.LDfilename = value;
        std::printf("the filename specified is %s\n", value);
        break;
    case 'f':
        settings.blockfile = value;
        std::printf("the blockfile specified is %s\n", value);
        break;
    case 'o':
        settings.datafile = value;
        std::printf("the datafile specified is %s\n", value);
        break;
    case 'p':
        settings.LDpercentage = std::strtod(value, nullptr);
        std::printf("the percentage specified is %.3f\n", settings.LDpercentage);
        break;
    case 's':
        settings.blockselectalg = value;
        std::printf("the block select alg specified is %s\n", value);
        break;
    case 't':
        settings.LDstrongthreshold = std::strtod(value, nullptr);
        std::printf("the threshold specified is %.3f\n", settings.LDstrongthreshold);
        break;
    }
}

void printUsage(const Settings& s) {
    std::printf("\nUsage: ldtile [-d datafile][-f blockfile][-o outputfile]\n"
                "\t\t[-s selectalg][-p LDpercentage][-t LDthreshold][-b minblocksize]\n");
    std::printf("(for some forgotten reason, you need to use at least one of these options, otherwise "
                "you'll just get this help message again.)\n\n");
    std::printf("if options not specified, default values are:\n");
    std::printf("\tdatafile: %s\n", s.LDfilename.c_str());
    std::printf("\tblockfile: %s\n", s.blockfile.c_str());
    std::printf("\toutputfile: %s\n", s.datafile.c_str());
    std::printf("\tselectalg: %s [i think this is obsolete]\n", s.blockselectalg.c_str());
    std::printf("\tpercentage: %.2f\n", s.LDpercentage);
    std::printf("\tLDthreshold: %.2f\n", s.LDstrongthreshold);
    std::printf("\tminblocksize: %d\n", s.minblocksize);
    std::printf("\nLDthreshold is currently obsolete because we are using confidence bounds. ");
    std::printf("Can be used to set threshold when other measures of LD are used.\n\n");
}

// Ends the run with status, or with 1 when standard output could not be written.
int finish(int status) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ldtile: cannot write standard output: %s\n",
                     errno != 0 ? std::strerror(errno) : "input/output error");
        return 1;
    }
    return status;
}

// Prints an error of the run on standard error, after what standard output already holds.
int fail(const std::string& text, int status) {
    std::fflush(stdout);
    std::fputs(text.c_str(), stderr);
    return finish(status);
}

}  // namespace

int ldtileMain(int argc, char** argv) {
    Settings settings;
    const std::vector<std::string> words = ldtools::wordsAfterName(argc, argv);
    const ldtools::ArgumentsRead read = ldtools::readArguments(
        words, kPolicy,
        {.option = [&settings](const OptionRule& rule,
                               const std::string& value) { applyOption(settings, rule.letter, value.c_str()); },
         .unknown = [](char letter) { std::printf("ldtile: illegal option %c\n", letter); }});
    switch (read.action) {
    case ldtools::CommandAction::help:
        printUsage(settings);
        return finish(0);
    case ldtools::CommandAction::version:
        std::fputs(ldtools::versionLine("ldtile").c_str(), stdout);
        return finish(0);
    case ldtools::CommandAction::usage:
        if (read.missingValue != '\0') std::printf("ldtile: option requires an argument -- %c\n", read.missingValue);
        printUsage(settings);
        return finish(1);
    case ldtools::CommandAction::run:
        break;
    }
    try {
        ldtile(settings.LDfilename, settings.LDstrongthreshold, settings.LDpercentage, settings.minblocksize,
               settings.blockselectalg, settings.datafile, settings.blockfile);
    } catch (const BoundsFileError& error) {
        return fail("ldtile: " + std::string(error.what()) + "\n", 1);
    } catch (const ldtools::Error& error) {
        return fail(error.what(), error.status());
    } catch (const std::bad_alloc&) {
        return fail("ldtile: not enough memory\n", 1);
    } catch (const std::exception& error) {
        return fail("ldtile: " + std::string(error.what()) + "\n", 1);
    }
    return finish(0);
}

}  // namespace ldtile
