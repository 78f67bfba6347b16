// The command line of ldtile. Every option takes the following word as its value; each accepted
// option is echoed on standard output, and so are the illegal-option messages and the usage text.
// --help and --version, read where an option word is read, print the usage text or the version.
// Errors of the run come here as exceptions and are printed on standard error.

#include "boundsfile.hpp"
#include "cli.hpp"
#include "error.hpp"
#include "ldtile.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

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

bool takesValue(char letter) { return letter != '\0' && std::strchr("bdfopst", letter) != nullptr; }

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

int main(int argc, char** argv) {
    Settings settings;
    bool illegal = false;
    int word = 1;
    // Option words are read up to the first word that does not begin with '-', and not past a
    // word holding an illegal letter. A value-taking letter ends its word; the letters after an
    // illegal one are still read.
    while (word < argc && !illegal && argv[word][0] == '-') {
        if (ldtools::isHelpOption(argv[word])) {
            printUsage(settings);
            return finish(0);
        }
        if (ldtools::isVersionOption(argv[word])) {
            std::fputs(ldtools::versionLine("ldtile").c_str(), stdout);
            return finish(0);
        }
        const char* letters = argv[word++] + 1;
        for (; *letters != '\0'; ++letters) {
            if (!takesValue(*letters)) {
                std::printf("ldtile: illegal option %c\n", *letters);
                illegal = true;
                continue;
            }
            if (word >= argc) {
                std::printf("ldtile: option requires an argument -- %c\n", *letters);
                printUsage(settings);
                return finish(1);
            }
            applyOption(settings, *letters, argv[word++]);
            break;
        }
    }
    if (illegal || argc == 1) {
        printUsage(settings);
        return finish(1);
    }
    try {
        ldtile::ldtile(settings.LDfilename, settings.LDstrongthreshold, settings.LDpercentage, settings.minblocksize,
                       settings.blockselectalg, settings.datafile, settings.blockfile);
    } catch (const ldtile::BoundsFileError& error) {
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
