// ldplot: the LD map of a bounds file, with its blocks, as PNG, SVG or PDF.

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include "cli.hpp"

int main(int argc, char** argv) {
    const int status = ldplot::ldplotMain(argc, argv);
    // Release what cairo and fontconfig keep for the life of the process, so that leak checkers
    // see only real leaks.
    cairo_debug_reset_static_data();
    FcFini();
    return status;
}
