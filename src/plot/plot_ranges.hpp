#pragma once
// The axis ranges, page layouts and file names of the plots, kept apart from the drawing so that
// they can be checked without PLplot.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

struct AxisRange {
    float min = 0.0f;
    float max = 0.0f;
};

// The value that marks a reference series (or mean series) as "not drawn".
inline constexpr float kNoReference = -999.9f;

// True when a reference series is to be drawn: it has values and its first one is not -999.9.
bool reference_drawn(std::span<const float> reference);

// The margin left above and below data of this range, so that no line runs along the frame: a
// tenth of the whole units of the width for widths of 10 or more (ring widths in the tens,
// sample sizes), 5 % of the width below that (indices, correlations).
float plot1_padding(AxisRange data);

// plot1's y axis: the values of y1 and y2 (first n of each, the missing code -999.0 left out)
// are taken in; a threshold reference (an EPS threshold, or a reference starting with 0.85) ends
// the axis at 1.0; then the padding above is added at both ends; a reference line width of 0
// starts the axis at 0.
AxisRange plot1_y_range(std::span<const float> y1, std::span<const float> y2, std::size_t n,
                        std::span<const float> reference, float width_ref, bool threshold = false);

// A range widened by 5 % of its width at both ends (the other plots' margin).
AxisRange with_margin(AxisRange data);

// spaghetti's y axis: all n values of lines 0 .. m - 1 except -999.0, widened by a twentieth of
// the width at both ends.
AxisRange spaghetti_y_range(const YearMatrix& lines, int n, int m);

// linguine2's y axis: both matrices over each series' own years, -999.0 left out, widened by a
// tenth of the width at both ends. A negative lower end is raised to 0 when all values are above
// 0; when some value is 0 or below the margin is kept, so that no line runs along the frame.
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

// The name of the k-th save (k >= 2) of a plot in one run: the number before the extension
// ("fig11.ps", 2 -> "fig11_2.ps"; "fig1", 3 -> "fig1_3").
std::string numbered_name(std::string_view name, int k);

// A short file-name tag for a plot drawn to a file device: letters, digits, '-' and '_' only.
std::string file_tag(std::string_view title);

// Where a legend goes: in a corner inside the box, or below the box (under the x label).
enum class LegendPlace { TopRight, TopLeft, BottomRight, BottomLeft, Below };

// A line drawn in a box, in box coordinates (0 .. 1 from the left and from the bottom).
struct BoxPath {
    std::vector<double> x, y;
};

// The first corner (top right, top left, bottom right, bottom left) where a legend of width w
// and height h (fractions of the box) touches none of the paths, a small gap from the frame
// included; Below when every corner is taken.
LegendPlace legend_place(std::span<const BoxPath> paths, double w, double h);

// The power of ten by which the numbers of an axis are divided so that no scale factor is needed
// at the axis: 0 for ranges whose largest magnitude lies from 0.1 to below 100000, otherwise the
// exponent of that magnitude (0.003 -> -3, 0.022 -> -2, 250000 -> 5). PLplot writes a factor of its
// own above the axis for labels of hundredths already, where a plot's title leaves it no room.
int axis_exponent(AxisRange range);

// The label of an axis whose numbers are divided by 10^exponent: "Difference (x10#u-3#d)"
// (PLplot's superscript escapes); the label itself for exponent 0.
std::string scaled_label(std::string_view label, int exponent);

// The periods (years) marked on the period axis above a spectrum over frequencies lo .. hi
// (cycles per year): round periods whose frequency lies inside, at a readable distance from
// each other, from the longest.
std::vector<double> period_ticks(double lo, double hi);

// A range PLplot can draw: an empty or degenerate range (no data, or a single value) is widened
// so that plenv accepts it; a proper range is returned unchanged.
AxisRange drawable(AxisRange range);

}  // namespace kestrovan
