// The command line of ldplot: Unix-style options (short and long forms, "--"), no operands.
// Errors come here as exceptions and are printed on standard error.

#include "cli.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <new>

#include "arguments.hpp"
#include "boundsformat.hpp"
#include "error.hpp"
#include "ldplot.hpp"
#include "numbers.hpp"
#include "options.hpp"

namespace ldplot {
namespace {

const char kUsage[] =
    "Usage: ldplot -d BOUNDS [-b BLOCKS] [-m MAP] [-r FROM-TO] [-w WIDTH] [-c class|lower|upper]\n"
    "              -o OUT.png|OUT.svg|OUT.pdf\n"
    "\n"
    "Draws the pairwise LD map of an LD bounds file: the SNPs evenly spaced along the top, every\n"
    "pair a diamond cell below them, the blocks outlined, a position axis above.\n"
    "\n"
    "  -d, --bounds FILE     LD bounds file (first, second position, lower, upper bound); required\n"
    "  -b, --blocks FILE     block file to outline (sorted or in the order found)\n"
    "  -m, --map FILE        genetic map (columns pos chr cM, header line; gzip or plain):\n"
    "                        draws the recombination rate along the position axis\n"
    "  -r, --region FROM-TO  only the SNPs from position FROM to TO\n"
    "  -w, --width PIXELS    width of the picture, 400 to 10000 (default 1600)\n"
    "  -c, --colour WHAT     class: strong LD, recombination, uninformative (default);\n"
    "                        lower or upper: that bound, on a white-to-red scale\n"
    "  -o, --output FILE     the picture; its type follows the extension: .png, .svg or .pdf\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n";

using ldtools::OptionRule;

// --color is another spelling of --colour.
constexpr OptionRule kOptions[] = {
    {'d', "bounds", true}, {'b', "blocks", true}, {'m', "map", true},    {'r', "region", true},
    {'w', "width", true},  {'c', "colour", true}, {'c', "color", true},  {'o', "output", true},
    {'h', "help", false},  {'V', "version", false, true},
};

// No words at all ask for the usage text (on standard error, status 1).
constexpr ldtools::ArgumentPolicy kPolicy{.program = "ldplot", .rules = kOptions, .usageWithoutWords = true};

[[noreturn]] void usageError(const std::string& message) {
    ldtools::usageError("ldplot", message);
}

// A position of -r: decimal digits only, within 32 bits.
bool parseRangeEnd(const std::string& text, std::int32_t& value) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    return ldtools::parseInt32(text, value) == ldtools::WholeNumber::ok;
}

void parseRange(const std::string& text, Options& options) {
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos || !parseRangeEnd(text.substr(0, dash), options.from) ||
        !parseRangeEnd(text.substr(dash + 1), options.to) || options.from > options.to)
        usageError("-r takes FROM-TO, two positions with FROM not above TO, not '" + text + "'");
    options.hasRange = true;
}

int parseWidth(const std::string& text) {
    std::int32_t value = 0;
    if (ldtools::parseInt32(text, value) != ldtools::WholeNumber::ok || value < kMinWidth || value > kMaxWidth)
        usageError("-w takes a width in pixels from " + std::to_string(kMinWidth) + " to " +
                   std::to_string(kMaxWidth) + ", not '" + text + "'");
    return value;
}

Colouring parseColouring(const std::string& text) {
    if (text == "class") return Colouring::pairClass;
    if (text == "lower") return Colouring::lower;
    if (text == "upper") return Colouring::upper;
    usageError("-c takes class, lower or upper, not '" + text + "'");
}

}  // namespace

const char* usageText() {
    return kUsage;
}

PictureFormat formatOf(const std::string& name) {
    const std::size_t dot = name.find_last_of("./");
    std::string extension = dot == std::string::npos || name[dot] != '.' ? std::string() : name.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "png") return PictureFormat::png;
    if (extension == "svg") return PictureFormat::svg;
    if (extension == "pdf") return PictureFormat::pdf;
    throw ldtools::Error("ldplot: cannot tell the picture type of " + name +
                         ": name the output .png, .svg or .pdf\n");
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    Options& options = result.options;
    auto apply = [&](const OptionRule& rule, const std::string& value) {
        switch (rule.letter) {
        case 'd':
            options.bounds = value;
            break;
        case 'b':
            options.blocks = value;
            break;
        case 'm':
            options.map = value;
            break;
        case 'r':
            parseRange(value, options);
            break;
        case 'w':
            options.width = parseWidth(value);
            break;
        case 'c':
            options.colouring = parseColouring(value);
            break;
        case 'o':
            options.output = value;
            break;
        }
        if (value.empty() && std::string("dbmo").find(rule.letter) != std::string::npos)
            usageError("the file name of " + ldtools::optionName(rule) + " is empty");
    };

    const ldtools::ArgumentsRead read = ldtools::readArguments(
        args, kPolicy,
        {.option = apply,
         .operand = [](const std::string& operand) { usageError("unexpected argument '" + operand + "'"); }});
    result.action = read.action;
    if (result.action != CommandLine::Action::run) return result;
    const std::string& seen = read.given;

    if (seen.find('d') == std::string::npos) usageError("-d BOUNDS is required");
    if (seen.find('o') == std::string::npos) usageError("-o OUT is required");
    options.format = formatOf(options.output);
    return result;
}

int ldplotMain(int argc, char** argv) {
    try {
        const CommandLine command = parseCommandLine(ldtools::wordsAfterName(argc, argv));
        if (command.action != CommandLine::Action::run) return ldtools::answerCommand(command.action, kUsage, "ldplot");
        run(command.options);
        return 0;
    } catch (const ldtools::BoundsFileError& error) {
        std::fputs(("ldplot: " + std::string(error.what()) + "\n").c_str(), stderr);
    } catch (const ldtools::Error& error) {
        std::fputs(error.what(), stderr);
        return error.status();
    } catch (const std::bad_alloc&) {
        std::fputs("ldplot: not enough memory\n", stderr);
    } catch (const std::exception& error) {
        std::fputs(("ldplot: " + std::string(error.what()) + "\n").c_str(), stderr);
    }
    return 1;
}

}  // namespace ldplot
