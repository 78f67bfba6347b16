#pragma once
// The large tables of ldtile are written once from end to end. Each first touch of a small memory
// page costs a page fault, which on some machines (virtual ones in particular) costs more than the
// work done on the page. Where the system offers large pages, asking for them cuts the faults by a
// factor of 512. Nothing else changes; elsewhere this does nothing.

#include <cstddef>

namespace ldtile {

// Asks for large pages for the whole 2 MB extents inside [data, data + bytes).
void preferLargePages(const void* data, std::size_t bytes);

}  // namespace ldtile
