#pragma once
// The genetic map: a header line, then one point a line with the columns pos chr cM (position,
// chromosome, genetic position in centimorgans), positions ascending, all of one chromosome.
// Plain text or gzip.

#include <string>
#include <vector>

namespace ldplot {

// The genetic position (cM) at each of the given positions (ascending), interpolated linearly
// between the two map points around it; NaN where a position lies outside the map's first and
// last point. Reads the map once, keeping no more than two points. Throws ldtools::Error naming
// the file and line of the first problem.
std::vector<double> geneticPositions(const std::string& name, const std::vector<double>& at);

}  // namespace ldplot
