// The command line of linkstat: its options, its help text, and the program's main, which turns every
// failure into its message and exit status.

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "cli.hpp"
#include "linkstat.hpp"
#include "report.hpp"
#include "run.hpp"
#include "workers.hpp"

namespace linkstat {

namespace {

constexpr std::size_t kMaxNameLength = 511;     // -I and -O values
constexpr std::size_t kMaxMissingLength = 104;  // -R value

std::string optionValue(const char* value, char letter, std::size_t limit) {
    if (std::strlen(value) > limit) throw optionTooLong(letter);
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
    for (int a = 1; a < argc; ++a) {
        const char* arg = argv[a];
        if (ldtools::isHelpOption(arg)) {
            s.request = Request::help;
            return s;
        }
        if (ldtools::isVersionOption(arg)) {
            s.request = Request::version;
            return s;
        }
        if (arg[0] != '-') continue;
        const char letter = arg[1];
        // Decision L13: a bare -I or -O takes the next argument as its value.
        const char* value = arg + 2;
        if ((letter == 'I' || letter == 'O') && *value == '\0' && a + 1 < argc) value = argv[++a];
        switch (letter) {
            case 'A': s.mode = HaploMode::actual; break;
            case 'B': s.Bounds = 1; break;
            case 'D': s.recordsOnly = true; s.Position = 1; break;
            case 'E': s.mode = HaploMode::em; break;
            case 'H': s.header = true; break;
            case 'I': s.inputName = optionValue(value, letter, kMaxNameLength); s.haveInput = true; break;
            case 'K': s.mode = HaploMode::known; break;
            case 'O': s.outputName = optionValue(value, letter, kMaxNameLength); s.haveOutput = true; break;
            case 'P': s.Position = 1; break;
            case 'R': s.missing = optionValue(value, letter, kMaxMissingLength); break;
            case 'S': s.separator = true; break;
            case 'T': s.threads = ldtools::threadCountOption(value); break;
            default: break;
        }
    }
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
           "  -Tn      compute with n threads (default and bare -T: one per processor online)\n"
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
