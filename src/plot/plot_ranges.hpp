#pragma once
// The axis ranges, page layouts and file names of the plots, kept apart from the drawing so that
// they can be checked without PLplot.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/series_table.hpp"
#include "io/year_matrix.hpp"

namespace kestrovan {

struct AxisRange {
    float min = 0.0f;
    float max = 0.0f;
};

// The value that marks a reference series (or mean series) as "not drawn".
inline constexpr float kNoReference = -999.9f;

// True when a reference series is to be drawn: it has values and its first one is not -999.9.
bool reference_drawn(std::span<const float> reference);

// plot1's y axis: every value of y1 and y2 (first n of each) is taken in; a reference starting
// with 0.85 ends the axis at 1.0; the integer part of the width, divided by 10, pads both ends;
// a reference line width of 0 starts the axis at 0.
AxisRange plot1_y_range(std::span<const float> y1, std::span<const float> y2, std::size_t n,
                        std::span<const float> reference, float width_ref);

// spaghetti's y axis: all n values of lines 0 .. m - 1 except -999.0, widened by a twentieth of
// the width at both ends.
AxisRange spaghetti_y_range(const YearMatrix& lines, int n, int m);

// linguine2's y axis: both matrices over each series' own years, -999.0 left out, widened by a
// tenth of the width at both ends, with a negative lower end raised to 0.
AxisRange linguine_y_range(const YearMatrix& initial, const YearMatrix& final,
                           std::span<const YearSpan> years);

// scatplt's ranges: x over all points; y from the smallest value - 1.0 to the largest + 1.5.
struct ScatterRanges {
    AxisRange x;
    AxisRange y;
};
ScatterRanges scatter_ranges(const YearMatrix& x, const YearMatrix& y, std::span<const int> counts);

// The title of scatplt (at most 55 characters): "Y=<a> + <b>(x)  Rho= <r>".
std::string scatter_title(float correlation, float pooled_intercept, float pooled_slope);

// plt2's lower panel: for each year x0 .. x1 the mean of the values of the series covering it
// (values equal to `missing` left out); a year no series covers holds 0.
std::vector<float> yearly_means(const YearMatrix& data, std::span<const YearSpan> years, float missing,
                                int x0, int x1);

// plt6's logarithmic values: log10 of each power, or -999.0 (left out of the plot) for a power of
// 0 or below, which has no logarithm.
std::vector<float> log10_powers(std::span<const float> power, std::size_t rows);

// plt4's subpages (columns x rows) for k iterations; {0, 0} when k > 20 (too many to plot).
struct PageLayout {
    int columns = 1;
    int rows = 1;
};
PageLayout plt4_layout(int k);

// The PostScript file of plot1 and spaghetti: the title (60 characters at most) with every blank
// closed up, followed by ".ps". A "/" (which would name a directory) becomes "_".
std::string title_file_name(std::string_view title);

// A short file-name tag for a plot drawn to a file device: letters, digits, '-' and '_' only.
std::string file_tag(std::string_view title);

// A range PLplot can draw: an empty or degenerate range (no data, or a single value) is widened
// so that plenv accepts it; a proper range is returned unchanged.
AxisRange drawable(AxisRange range);

}  // namespace kestrovan
