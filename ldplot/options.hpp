#pragma once
// The settings of ldplot and their reading from the command line (cli.cpp).

#include <cstdint>
#include <string>
#include <vector>

#include "arguments.hpp"

namespace ldplot {

// What the cells of the map show.
enum class Colouring { pairClass, lower, upper };

// The kind of picture, from the extension of the output name.
enum class PictureFormat { png, svg, pdf };

struct Options {
    std::string bounds;   // -d, required
    std::string blocks;   // -b, empty: no blocks
    std::string map;      // -m, empty: no recombination-rate track
    std::string output;   // -o, required
    bool hasRange = false;  // -r FROM-TO
    std::int32_t from = 0;
    std::int32_t to = 0;
    int width = 1600;  // -w
    Colouring colouring = Colouring::pairClass;
    PictureFormat format = PictureFormat::png;
};

struct CommandLine {
    using Action = ldtools::CommandAction;
    Action action = Action::run;
    Options options;
};

// The narrowest and widest pictures: the legend needs the narrowest, and the widest keeps the
// image within what the drawing library and a few hundred megabytes hold.
constexpr int kMinWidth = 400;
constexpr int kMaxWidth = 10000;

const char* usageText();

// Reads the arguments after the program name. Throws ldtools::Error with the complete message.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The picture format named by the extension of name (.png, .svg, .pdf, in any case). Throws
// ldtools::Error for anything else.
PictureFormat formatOf(const std::string& name);

}  // namespace ldplot
