#include "ldplot.hpp"

#include <memory>

#include "error.hpp"
#include "plot.hpp"
#include "render.hpp"
#include "replacefile.hpp"

namespace ldplot {

void run(const Options& options) {
    // Renaming the picture over an input would lose it.
    for (const std::string* input : {&options.bounds, &options.blocks, &options.map}) {
        if (!input->empty() && ldtools::sameFile(options.output, *input))
            throw ldtools::Error("ldplot: the picture " + options.output + " would replace the input file " + *input +
                                 "\n");
    }
    // Opened first, so that an output that cannot be written is reported before a long read. The
    // picture goes to a temporary file that replaces the output only once it is complete.
    std::unique_ptr<ldtools::ReplacementFile> out;
    try {
        out = std::make_unique<ldtools::ReplacementFile>(options.output);
    } catch (const ldtools::SystemError& error) {
        cannotWrite(options.output, error.reason());
    }
    const Plot plot = loadPlot(options);
    writePicture(plot, out->fd(), options.output);
    try {
        out->commit();
    } catch (const ldtools::SystemError& error) {
        cannotWrite(options.output, error.reason());
    }
}

}  // namespace ldplot
