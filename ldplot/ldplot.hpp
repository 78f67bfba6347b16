#pragma once
// One run of ldplot: read the inputs, draw, and put the picture in place.

#include "options.hpp"

namespace ldplot {

// Throws ldtools::Error (message and status for main) or ldtools::BoundsFileError (the reason
// about the bounds file, without the program's name).
void run(const Options& options);

}  // namespace ldplot
