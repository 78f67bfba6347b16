#include "options.hpp"

#include <algorithm>
#include <cctype>

#include "error.hpp"
#include "numbers.hpp"

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

struct OptionSpec {
    char letter;
    const char* name;
    bool takesValue;
};

// 'V' stands for --version, which has no short form; --color is another spelling of --colour.
constexpr OptionSpec kOptions[] = {
    {'d', "bounds", true}, {'b', "blocks", true}, {'m', "map", true},    {'r', "region", true},
    {'w', "width", true},  {'c', "colour", true}, {'c', "color", true},  {'o', "output", true},
    {'h', "help", false},  {'V', "version", false},
};

[[noreturn]] void usageError(const std::string& message) {
    throw ldtools::Error("ldplot: " + message + " (see ldplot -h)\n");
}

const OptionSpec* findShort(char letter) {
    if (letter == 'V') return nullptr;
    for (const OptionSpec& spec : kOptions)
        if (spec.letter == letter) return &spec;
    return nullptr;
}

const OptionSpec* findLong(const std::string& name) {
    for (const OptionSpec& spec : kOptions)
        if (name == spec.name) return &spec;
    return nullptr;
}

std::string shown(const OptionSpec& spec) {
    return spec.letter == 'V' ? std::string("--version") : std::string("-") + spec.letter;
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
    if (ldtools::parseInt32(text, value) != ldtools::WholeNumber::ok || value < minWidth || value > maxWidth)
        usageError("-w takes a width in pixels from " + std::to_string(minWidth) + " to " +
                   std::to_string(maxWidth) + ", not '" + text + "'");
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
    std::string seen;  // letters of the options given so far

    auto apply = [&](const OptionSpec& spec, const std::string& value) {
        if (seen.find(spec.letter) != std::string::npos) usageError(shown(spec) + " is given twice");
        seen.push_back(spec.letter);
        switch (spec.letter) {
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
        if (value.empty() && std::string("dbmo").find(spec.letter) != std::string::npos)
            usageError("the file name of " + shown(spec) + " is empty");
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-') usageError("unexpected argument '" + arg + "'");
        const OptionSpec* spec = nullptr;
        std::string value;
        bool attached = false;
        if (arg[1] == '-') {
            const std::size_t equals = arg.find('=');
            spec = findLong(arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (spec == nullptr) usageError("unknown option " + arg.substr(0, equals));
            if (equals != std::string::npos) {
                if (!spec->takesValue) usageError(arg.substr(0, equals) + " takes no value");
                value = arg.substr(equals + 1);
                attached = true;
            }
        } else {
            spec = findShort(arg[1]);
            if (spec == nullptr || (!spec->takesValue && arg.size() > 2)) usageError("unknown option " + arg);
            if (arg.size() > 2) {
                value = arg.substr(2);
                attached = true;
            }
        }
        if (spec->letter == 'h') {
            result.action = CommandLine::Action::help;
            return result;
        }
        if (spec->letter == 'V') {
            result.action = CommandLine::Action::version;
            return result;
        }
        if (!attached) {
            if (i + 1 >= args.size()) usageError(shown(*spec) + " needs a value");
            value = args[++i];
        }
        apply(*spec, value);
    }

    if (seen.find('d') == std::string::npos) usageError("-d BOUNDS is required");
    if (seen.find('o') == std::string::npos) usageError("-o OUT is required");
    options.format = formatOf(options.output);
    return result;
}

}  // namespace ldplot
