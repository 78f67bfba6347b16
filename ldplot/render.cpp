#include "render.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "error.hpp"
#include "lines.hpp"
#include "writer.hpp"

namespace ldplot {
namespace {

constexpr Rgb kTextColour{0.10, 0.10, 0.10};
constexpr Rgb kAxisColour{0.25, 0.25, 0.25};
constexpr Rgb kTrackColour{0.20, 0.55, 0.30};
constexpr Rgb kConnectorColour{0.55, 0.55, 0.55};

void setColour(cairo_t* cr, const Rgb& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void setFont(cairo_t* cr, double size, bool bold = false) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

void showText(cairo_t* cr, double x, double baseline, const std::string& text) {
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, text.c_str());
}

std::string counted(std::uint64_t count, const char* one, const char* many) {
    return withThousands(static_cast<long long>(count)) + " " + (count == 1 ? one : many);
}

// The smallest of 1, 2 or 5 times a power of ten that is at least x (x > 0).
double niceCeiling(double x) {
    double power = std::pow(10.0, std::floor(std::log10(x)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= x * (1 - 1e-12)) return factor * power;
    return 10 * power;
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// ---- parts of the picture ---------------------------------------------------------------------

void drawTitle(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    std::string title = "LD map";
    if (plot.haveAxis)
        title += " of positions " + std::to_string(static_cast<long long>(plot.axisFrom)) + "-" +
                 std::to_string(static_cast<long long>(plot.axisTo));
    if (plot.snps.empty())
        title += ": no SNPs";
    else
        title += ": " + counted(plot.snps.size(), "SNP", "SNPs") + ", " + counted(plot.pairs, "pair", "pairs") +
                 ", " + counted(plot.blocks.size(), "block", "blocks");
    double size = 16;
    setFont(cr, size, true);
    while (size > 8 && textWidth(cr, title) > layout.width - 2 * Layout::kMargin) {
        size -= 0.5;
        setFont(cr, size, true);
    }
    setColour(cr, kTextColour);
    showText(cr, layout.left, layout.titleBaseline, title);
}

void drawTrack(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    if (!layout.track) return;
    const double base = layout.trackTop + layout.trackHeight;
    const double room = layout.trackHeight - 14;
    double most = 0;
    bool any = false;
    for (double rate : plot.rates) {
        if (!std::isfinite(rate)) continue;
        any = true;
        most = std::max(most, rate);
    }
    setFont(cr, 10);
    setColour(cr, kTextColour);
    if (!any) {
        showText(cr, layout.left, layout.trackTop + 10, "recombination rate: the genetic map has no points in this range");
    } else {
        const double scale = most > 0 ? niceCeiling(most) : 1.0;
        showText(cr, layout.left, layout.trackTop + 10,
                 "recombination rate, cM/Mb (top of the track: " + numberText(scale) + ")");
        const int columns = static_cast<int>(plot.rates.size());
        for (int c = 0; c < columns;) {
            if (!std::isfinite(plot.rates[c])) {
                ++c;
                continue;
            }
            cairo_move_to(cr, layout.left + c, base);
            for (; c < columns && std::isfinite(plot.rates[c]); ++c) {
                const double y = base - room * plot.rates[c] / scale;
                cairo_line_to(cr, layout.left + c, y);
                cairo_line_to(cr, layout.left + c + 1, y);
            }
            cairo_line_to(cr, layout.left + c, base);
            cairo_close_path(cr);
        }
        setColour(cr, kTrackColour);
        cairo_fill(cr);
    }
    cairo_set_line_width(cr, 0.5);
    setColour(cr, kAxisColour);
    cairo_move_to(cr, layout.left, base);
    cairo_line_to(cr, layout.left + layout.plotWidth, base);
    cairo_stroke(cr);
}

void drawAxis(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    if (!plot.haveAxis) return;
    setColour(cr, kAxisColour);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, layout.left, layout.axisY + 0.5);
    cairo_line_to(cr, layout.left + layout.plotWidth, layout.axisY + 0.5);
    cairo_stroke(cr);

    std::vector<double> ticks;
    if (plot.axisTo > plot.axisFrom) {
        const double most = std::max(1, layout.plotWidth / 110);
        const double step = std::max(1.0, niceCeiling((plot.axisTo - plot.axisFrom) / most));
        for (double t = std::ceil(plot.axisFrom / step) * step; t <= plot.axisTo; t += step) ticks.push_back(t);
    } else {
        ticks.push_back(plot.axisFrom);
    }
    setFont(cr, 10);
    for (double t : ticks) {
        const double x = std::round(plot.axisX(t)) + 0.5;
        cairo_move_to(cr, x, layout.axisY - 4);
        cairo_line_to(cr, x, layout.axisY + 1);
        cairo_stroke(cr);
        const std::string label = withThousands(static_cast<long long>(t));
        const double width = textWidth(cr, label);
        const double at = std::clamp(x - width / 2, 2.0, layout.width - 2.0 - width);
        showText(cr, at, layout.axisY - 7, label);
    }

    // Each SNP's true position joined to its column above the map.
    cairo_set_line_width(cr, 0.5);
    setColour(cr, kConnectorColour, 0.6);
    for (std::size_t i = 0; i < plot.snps.size(); ++i) {
        cairo_move_to(cr, plot.axisX(plot.snps[i]), layout.axisY + 1);
        cairo_line_to(cr, layout.snpX(static_cast<double>(i)), layout.stripTop);
    }
    cairo_stroke(cr);
}

std::uint32_t argb(ColourKey key) {
    if (key == kBlankKey) return 0;  // transparent
    const Rgb c = keyColour(key);
    auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
    return 0xFF000000u | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

// The map as an image of one pixel per pixel: folded pixels as they are; larger cells sampled at
// each pixel's centre.
void drawRaster(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    const MatrixColours& m = plot.matrix;
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, layout.plotWidth, layout.matrixRows));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
        throw ldtools::Error("ldplot: not enough memory for a map of " + std::to_string(layout.plotWidth) + " x " +
                             std::to_string(layout.matrixRows) + " pixels\n");
    cairo_surface_flush(image.get());
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    const int n = layout.snps;
    std::array<std::uint32_t, 1 + kPairClassCount + kBoundLevels> palette;
    for (std::size_t key = 0; key < palette.size(); ++key) palette[key] = argb(static_cast<ColourKey>(key));
    for (int row = 0; row < layout.matrixRows; ++row) {
        auto* line = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(row) * stride);
        if (layout.folded()) {
            for (int column = 0; column < layout.plotWidth; ++column) line[column] = palette[m.pixel(column, row)];
            continue;
        }
        for (int column = 0; column < layout.plotWidth; ++column) {
            const double u = column + 0.5;
            const double v = row + 0.5;
            const int a = static_cast<int>(std::floor((u - v) / layout.cellSize));
            const int b = static_cast<int>(std::floor((u + v) / layout.cellSize));
            const bool inside = a >= 0 && b < n && b > a && b - a <= m.depth;
            line[column] = palette[inside ? m.cell(a, b) : kBlankKey];
        }
    }
    cairo_surface_mark_dirty(image.get());
    cairo_save(cr);
    cairo_set_source_surface(cr, image.get(), layout.left, layout.matrixTop);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, layout.left, layout.matrixTop, layout.plotWidth, layout.matrixRows);
    cairo_fill(cr);
    cairo_restore(cr);
}

// Large cells as shapes, one path for all cells of a colour. The cells of a run (a, b1..b2) of one
// colour form a parallelogram: from the left corner of (a, b1) to its top corner, to the right
// corner of (a, b2), to its bottom corner.
void drawCellShapes(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    const MatrixColours& m = plot.matrix;
    const int n = layout.snps;
    struct Run {
        int a, first, last;
    };
    std::vector<std::vector<Run>> byKey(5 + kBoundLevels);
    for (int a = 0; a < n; ++a) {
        const int end = std::min(n - 1, a + m.depth);
        for (int b = a + 1; b <= end;) {
            const ColourKey key = m.cell(a, b);
            int last = b;
            while (last < end && m.cell(a, last + 1) == key) ++last;
            if (key != kBlankKey) byKey[key].push_back({a, b, last});
            b = last + 1;
        }
    }
    const double s = layout.cellSize;
    auto point = [&](double p, double q) {
        cairo_line_to(cr, layout.left + (p + q) * s / 2, layout.matrixTop + (q - p) * s / 2);
    };
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    for (std::size_t key = 1; key < byKey.size(); ++key) {
        if (byKey[key].empty()) continue;
        for (const Run& run : byKey[key]) {
            cairo_new_sub_path(cr);
            point(run.a, run.first);
            point(run.a + 1, run.first);
            point(run.a + 1, run.last + 1);
            point(run.a, run.last + 1);
            cairo_close_path(cr);
        }
        setColour(cr, keyColour(static_cast<ColourKey>(key)));
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void drawBlocks(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    if (plot.blocks.empty() || layout.snps == 0) return;
    const double top = layout.matrixTop;
    const double right = layout.left + layout.plotWidth;

    // Outlines, cut to the map: a block that reaches beyond the drawn range shows its part in it.
    cairo_save(cr);
    cairo_move_to(cr, layout.left, top - 2);
    cairo_line_to(cr, right, top - 2);
    cairo_line_to(cr, right, top);
    cairo_line_to(cr, layout.left + layout.plotWidth / 2.0, top + layout.plotWidth / 2.0);
    cairo_line_to(cr, layout.left, top);
    cairo_close_path(cr);
    cairo_clip(cr);
    cairo_rectangle(cr, layout.left, top - 2, layout.plotWidth, layout.matrixRows + 4);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setColour(cr, kOutlineColour);
    for (const Block& block : plot.blocks) {
        const double f = static_cast<double>(block.first) - static_cast<double>(plot.firstIndex);
        const double l = static_cast<double>(block.last) - static_cast<double>(plot.firstIndex);
        cairo_move_to(cr, layout.snpX(f), top);
        cairo_line_to(cr, layout.snpX(l), top);
        cairo_line_to(cr, (layout.snpX(f) + layout.snpX(l)) / 2, top + (l - f) * layout.cellSize / 2);
        cairo_close_path(cr);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    // First-last labels above the blocks that are wide enough.
    setFont(cr, 10);
    setColour(cr, kTextColour);
    for (const Block& block : plot.blocks) {
        const double f = static_cast<double>(block.first) - static_cast<double>(plot.firstIndex);
        const double l = static_cast<double>(block.last) - static_cast<double>(plot.firstIndex);
        const double x1 = std::max(layout.snpX(f), static_cast<double>(layout.left));
        const double x2 = std::min(layout.snpX(l), right);
        const std::string label = std::to_string(block.firstPosition) + "-" + std::to_string(block.lastPosition);
        const double width = textWidth(cr, label);
        if (width + 4 <= x2 - x1) showText(cr, (x1 + x2 - width) / 2, layout.stripTop + 11, label);
    }
}

void drawSwatch(cairo_t* cr, const Layout& layout, int row, ColourKey key, const std::string& text) {
    const double y = layout.legendTop + row * Layout::kLegendRowHeight;
    cairo_rectangle(cr, layout.left, y, 12, 12);
    setColour(cr, keyColour(key));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 0.5);
    setColour(cr, kAxisColour);
    cairo_stroke(cr);
    setColour(cr, kTextColour);
    showText(cr, layout.left + 18, y + 10, text);
}

void drawNote(cairo_t* cr, const Layout& layout, int row, const std::string& text) {
    setColour(cr, kTextColour);
    showText(cr, layout.left + 18, layout.legendTop + row * Layout::kLegendRowHeight + 10, text);
}

void drawLegend(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    const auto& counts = plot.classCounts;
    auto pairsOf = [&](PairClass c) { return counted(counts[static_cast<int>(c)], "pair", "pairs"); };
    setFont(cr, 11);
    int row = 0;
    if (plot.options.colouring == Colouring::pairClass) {
        drawSwatch(cr, layout, row++, classKey(PairClass::strong),
                   "strong LD (upper > 0.98, lower > 0.7): " + pairsOf(PairClass::strong));
        drawSwatch(cr, layout, row++, classKey(PairClass::recombination),
                   "recombination (upper < 0.9): " + pairsOf(PairClass::recombination));
        drawSwatch(cr, layout, row++, classKey(PairClass::uninformative),
                   "uninformative (other pairs): " + pairsOf(PairClass::uninformative));
    } else {
        const double y = layout.legendTop;
        cairo_pattern_t* scale = cairo_pattern_create_linear(layout.left, 0, layout.left + 200, 0);
        const Rgb low = scaleColour(0);
        const Rgb high = scaleColour(1);
        cairo_pattern_add_color_stop_rgb(scale, 0, low.r, low.g, low.b);
        cairo_pattern_add_color_stop_rgb(scale, 1, high.r, high.g, high.b);
        cairo_rectangle(cr, layout.left, y, 200, 12);
        cairo_set_source(cr, scale);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(scale);
        cairo_set_line_width(cr, 0.5);
        setColour(cr, kAxisColour);
        cairo_stroke(cr);
        setColour(cr, kTextColour);
        const bool lower = plot.options.colouring == Colouring::lower;
        showText(cr, layout.left + 210, y + 10, std::string(lower ? "lower" : "upper") + " bound of D'");
        setFont(cr, 10);
        for (double t : {0.0, 0.5, 1.0}) {
            const std::string label = numberText(t);
            showText(cr, layout.left + 200 * t - textWidth(cr, label) / 2, y + Layout::kLegendRowHeight + 8, label);
        }
        setFont(cr, 11);
        row = 2;
    }
    drawSwatch(cr, layout, row++, classKey(PairClass::noRecord),
               "no record (less than 200,000 apart): " + pairsOf(PairClass::noRecord));
    setFont(cr, 10);
    drawNote(cr, layout, row++, "the block finder reads these as 0/0: recombination");
    drawNote(cr, layout, row++, "pairs 200,000 or more apart: blank");
    if (layout.folded()) {
        if (plot.options.colouring == Colouring::pairClass) {
            drawNote(cr, layout, row++, "each pixel shows the class of most of its pairs");
        } else {
            drawNote(cr, layout, row++, "each pixel shows the mean bound of its pairs,");
            drawNote(cr, layout, row++, "or no record where most of its pairs have none");
        }
    }
}

cairo_font_options_t* fontOptions() {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    return options;
}

// Writes what cairo hands over to the descriptor; keeps the first failure for the caller.
struct StreamTarget {
    int fd;
    int error = 0;
};

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) {
    auto* target = static_cast<StreamTarget*>(closure);
    if (target->error != 0) return CAIRO_STATUS_WRITE_ERROR;
    try {
        ldtools::writeAll(target->fd, reinterpret_cast<const char*>(data), length);
    } catch (const ldtools::SystemError& error) {
        target->error = error.code() != 0 ? error.code() : EIO;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

void checkWritten(cairo_status_t status, const StreamTarget& target, const std::string& name) {
    if (target.error != 0) cannotWrite(name, ldtools::systemReason(target.error));
    if (status != CAIRO_STATUS_SUCCESS) cannotWrite(name, cairo_status_to_string(status));
}

}  // namespace

void drawPlot(cairo_t* cr, const Plot& plot) {
    const Layout& layout = plot.layout;
    cairo_font_options_t* options = fontOptions();
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, 0, 0, layout.width, layout.height);
    cairo_fill(cr);
    drawTitle(cr, plot);
    drawTrack(cr, plot);
    drawAxis(cr, plot);
    if (layout.snps > 0 && layout.matrixRows > 0) {
        if (!layout.folded() && layout.cellShapes())
            drawCellShapes(cr, plot);
        else
            drawRaster(cr, plot);
    }
    drawBlocks(cr, plot);
    drawLegend(cr, plot);
}

SurfacePtr renderImage(const Plot& plot) {
    const Layout& layout = plot.layout;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, layout.width, layout.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        throw ldtools::Error("ldplot: not enough memory for a picture of " + std::to_string(layout.width) + " x " +
                             std::to_string(layout.height) + " pixels\n");
    ContextPtr cr(cairo_create(surface.get()));
    drawPlot(cr.get(), plot);
    const cairo_status_t status = cairo_status(cr.get());
    cr.reset();
    if (status != CAIRO_STATUS_SUCCESS)
        throw ldtools::Error(std::string("ldplot: cannot draw the picture: ") + cairo_status_to_string(status) + "\n");
    cairo_surface_flush(surface.get());
    return surface;
}

void cannotWrite(const std::string& name, const std::string& reason) {
    throw ldtools::Error("ldplot: cannot write " + name + ": " + reason + "\n");
}

void writePicture(const Plot& plot, int fd, const std::string& name) {
    StreamTarget target{fd};
    const Layout& layout = plot.layout;
    if (plot.options.format == PictureFormat::png) {
        SurfacePtr image = renderImage(plot);
        checkWritten(cairo_surface_write_to_png_stream(image.get(), writeToStream, &target), target, name);
        return;
    }
    SurfacePtr surface(plot.options.format == PictureFormat::svg
                           ? cairo_svg_surface_create_for_stream(writeToStream, &target, layout.width, layout.height)
                           : cairo_pdf_surface_create_for_stream(writeToStream, &target, layout.width, layout.height));
    checkWritten(cairo_surface_status(surface.get()), target, name);
    // No creation date: the same input gives the same file, as it does for PNG and SVG.
    if (plot.options.format == PictureFormat::pdf)
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, "");
    ContextPtr cr(cairo_create(surface.get()));
    drawPlot(cr.get(), plot);
    const cairo_status_t drawn = cairo_status(cr.get());
    cr.reset();
    checkWritten(drawn, target, name);
    cairo_surface_finish(surface.get());
    checkWritten(cairo_surface_status(surface.get()), target, name);
}

}  // namespace ldplot
