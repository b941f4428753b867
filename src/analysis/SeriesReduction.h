#pragma once
// Thins a long series for drawing: within one pixel column the line covers
// the span from its lowest to its highest point whatever the order between,
// so those two are all that matter to the eye; a million points draw like a
// few thousand and no peak is ever lost.

#include <cstddef>
#include <vector>

// x must be ascending (equal values allowed). Returns, in ascending order,
// the indices of the points to draw for the x range [x0, x1] split into
// `columns` equal columns: per column its lowest and highest point in their
// order (one when they coincide; the first of equal values), plus the nearest point outside each end
// of the range so that the line runs on to the edge. NaN y values are never
// kept. columns < 1 counts as 1; an empty or reversed range gives nothing.
std::vector<size_t> ReduceToColumns(const double* x, const double* y, size_t n, double x0, double x1,
                                    int columns);
