// ldplot: the LD map of a bounds file, with its blocks, as PNG, SVG or PDF.

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "boundsformat.hpp"
#include "error.hpp"
#include "ldplot.hpp"
#include "options.hpp"

namespace {

int runCommand(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(ldplot::usageText(), stderr);
        return 1;
    }
    try {
        const ldplot::CommandLine command = ldplot::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (command.action != ldplot::CommandLine::Action::run)
            return ldtools::answerHelpOrVersion(command.action, ldplot::usageText(), "ldplot");
        ldplot::run(command.options);
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

}  // namespace

int main(int argc, char** argv) {
    const int status = runCommand(argc, argv);
    // Release what cairo and fontconfig keep for the life of the process, so that leak checkers
    // see only real leaks.
    cairo_debug_reset_static_data();
    FcFini();
    return status;
}
