#pragma once
// Drawing the picture with cairo, and writing it as PNG, SVG or PDF.

#include <cairo.h>

#include <memory>
#include <string>

#include "plot.hpp"

namespace ldplot {

// The colour of block outlines (nothing else is drawn in it).
constexpr Rgb kOutlineColour{0.0, 0.0, 0.0};

// Draws the whole picture on cr, in pixels from the top-left corner.
void drawPlot(cairo_t* cr, const Plot& plot);

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// The picture on an image surface (32-bit ARGB, white background). Throws ldtools::Error when
// the image cannot be made.
SurfacePtr renderImage(const Plot& plot);

// Throws ldtools::Error "ldplot: cannot write NAME: REASON".
[[noreturn]] void cannotWrite(const std::string& name, const std::string& reason);

// Writes the picture in the format of the options to the descriptor fd. Throws ldtools::Error
// "ldplot: cannot write NAME: REASON" when drawing or writing fails.
void writePicture(const Plot& plot, int fd, const std::string& name);

}  // namespace ldplot
