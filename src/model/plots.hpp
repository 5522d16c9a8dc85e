#pragma once
// The plot interface. The engine, the diagnostics, the power transform and the final output draw
// every plot through one Plotter, handing over data only. Three implementations sit behind it:
//   - plots off (--no-plots): draws nothing and reads no input;
//   - a file device (pngcairo, svg, svgcairo, ...): each drawing goes to its own numbered file
//     named after the plot, and no menu is shown (no input is read);
//   - the screen (an interactive device when a display opens, else PLplot's "null" device): each
//     drawing is followed by a line naming the plot and the plot options menu, whose [s]ave
//     writes a PostScript ("psc") file. The window stays open while the menu is answered. When
//     standard input is not a terminal (an answer file) the plots are still drawn, but no menu
//     and no pause reads a line, so one answer file serves runs with and without plots.
//
// Saved files are never lost within a run: the first save of a plot takes its own name
// ("fig11.ps", "fig1.ps", "fig1b.ps" or the title's name), and a later save that would replace a
// file this run wrote gets a number before the extension ("fig11_2.ps", "fig11_3.ps"). A file
// left by an earlier run is replaced. Every save prints "Plot saved to NAME".
//
// One colour per meaning, in every plot (PLplot colour map 0; 0 is redefined as white, 15 as
// black):
//   black  (15)  frame, axes, labels, titles; reference lines (the EPS threshold and the
//                marked years dashed, the index 1.0 thin), mean lines and smoothed chronologies
//   blue    (9)  the data, or the first / original / initial series of a pair
//   red     (1)  the fitted curve, or the second / final / signal-free series of a pair
//   grey    (7)  intermediate iterations between the first and the last
//   green   (3)  sample size: series per year, or series per biological age (right-hand axis)
//   magenta (13), blue-violet (10), brown (8), salmon (14): the upper hinge, median, lower hinge
//                and minimum of the biweight summary
// Every line has an entry with a sample of it in the box's legend, which sits in a corner of the
// box that the lines leave free, or below the box. Lines drawn first are drawn wider, so that a
// line drawn over another never hides it completely; two lines of a pair that coincide are
// drawn once, and the legend says so. Grids are light grey. Axes whose numbers would need a
// scale factor are rescaled by a power of ten, which the axis label states. Axis labels say
// what is drawn and in what unit ("Year", "Index", "Width (mm)", "Biological age (years)"). The
// y axis leaves a margin above and below the data, so that no line runs along the frame.
//
// Arrays handed in are never changed. Values equal to the missing code (-999.0) are left out of
// every line and range: a line is broken where one occurs.
//
// The interface and the plot records are data only: a stage that asks for a plot needs nothing
// of the plot layer (src/plot/), which implements Plotter.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

// A year marked on a line plot: a dashed black vertical line at it across the box, with its
// legend entry (the years from which a chronology's signal strength can be trusted).
struct YearMark {
    int year = 0;
    std::string legend;
};

// A line plot over calendar years (x = first_year + i), the general plot of two series.
struct LinePlot {
    std::span<const float> y1{};  // blue, legend1
    std::span<const float> y2{};  // red, legend2; empty: only y1 is drawn
    int first_year = 1;
    std::string_view x_label{}, y_label{}, title{};
    std::string_view legend1{}, legend2{};
    // A black reference line, drawn unless empty or starting with -999.9; a threshold reference
    // (threshold_reference, or one starting with 0.85) is dashed and ends the y axis at 1.0
    // (before the margin). width_ref 0 starts the axis at 0.
    std::span<const float> reference{};
    std::string_view reference_legend{};
    bool threshold_reference = false;  // the reference is an EPS threshold: dashed, axis ends at 1.0
    // Series per year, drawn in green against its own axis on the right ("Sample size").
    std::span<const int> sample_size{};
    float width1 = 1.0f, width2 = 1.0f, width_ref = 1.0f;
    // Indices: a thin black line at 1.0.
    bool unit_line = false;
    // A smoothed version of the data (black, over the others), named by its legend.
    std::span<const float> smooth{};
    std::string_view smooth_legend{};
    // Years marked by thin dashed black vertical lines over the data, named last in the legend;
    // marks outside the years drawn are left out.
    std::span<const YearMark> year_marks{};
};

// Many lines over the same years (x = first_year + i): column j of `lines`, j = 0 .. m - 1, n
// points each. Without line_legends the first is blue (legend1), the last red (legend2) and any
// between grey ("Iterations between"); with line_legends (one per line) every line has its own
// colour and legend, and legend1 is written in black as a note.
struct SpaghettiPlot {
    const YearMatrix* lines = nullptr;
    int n = 0, m = 0;
    std::span<const float> reference{};  // black, unless empty or starting with -999.9
    int first_year = 1;
    std::string_view x_label{}, y_label{}, title{};
    std::string_view legend1{}, legend2{};
    std::span<const std::string> line_legends{};
    bool unit_line = false;  // indices: a thin black line at 1.0
};

// One series of a Regional-curve run against age and against calendar year.
struct TreeRingPlot {
    std::span<const float> by_year{};  // the series from its first year (by_year[0] = first_year)
    std::span<const float> by_age{};   // by ring: by_age[j - 1] is ring j, drawn at age age_before + j
    std::span<const float> curve{};    // the regional curve by age (curve[age - 1]), drawn at the
                                       // ages the series covers
    int first_year = 0, last_year = 0;
    float missing = -999.0f;
    int curve_ages = 0;  // curve_ages + age_offset: the end of the age axis
    std::string_view id{}, title{};
    int age_before = 0, age_offset = 0;
    // The iteration the plot belongs to, named in its file name ("Iter03_"); below 0: none.
    int iteration = -1;
};

// Every series in its initial (blue) and final (red) form over its own years, with the mean
// (black, legend "Mean"; unless empty or starting with -999.9) over the summary years on top.
// initial and final hold one column per series by position (row 0 = the series' first year);
// m = years.size().
struct LinguinePlot {
    const YearMatrix* initial = nullptr;
    const YearMatrix* final = nullptr;
    std::span<const float> mean{};
    std::span<const YearSpan> years{};
    YearSpan summary{};
    std::string_view x_label{}, y_label{}, title{}, legend1{}, legend2{};
    bool unit_line = false;  // indices: a thin black line at 1.0
};

// Power spectra of two chronologies: frequency[i] against power2[i] and power3[i] for the first
// n rows, with each chronology's red-noise background (its fitted AR(1) spectrum) and the 95 %
// level of that background, when given (empty spans: not drawn).
struct SpectrumPlot {
    std::span<const float> frequency{}, power2{}, power3{};
    std::span<const float> red2{}, red2_95{}, red3{}, red3_95{};
    int n = 0;
    std::string_view legend2{}, legend3{};
};

// The spans of the series: one bar per series from its first to its last year, in the order of
// their first years, the pith offset (rings missing to the pith) as a thin extension before the
// first year where known, and the number of series per year in a strip below.
struct SegmentPlot {
    std::span<const std::string> ids{};
    std::span<const YearSpan> years{};
    std::span<const int> pith_offsets{};  // one per series; empty when no pith offsets are known
};

// The crossdating checks: one bar per series over its years, each tested segment coloured by its
// flag ('A', 'B' or blank), with the series' identifier at its row.
struct FlaggedSegment {
    int first = 0, last = 0;
    char flag = ' ';
};
struct CrossdatingPlot {
    std::span<const std::string> ids{};
    std::span<const YearSpan> years{};
    std::span<const std::vector<FlaggedSegment>> segments{};  // one list per series
};

class Plotter {
public:
    virtual ~Plotter() = default;

    // False when plots are off: callers may skip preparing data for a plot.
    virtual bool enabled() const = 0;

    // The line plot: the lines drawn have min(y1.size(), y2.size()) points (y1.size() when y2 is
    // empty). Saving writes "<title with blanks closed up>.ps".
    virtual void plot1(const LinePlot& plot) = 0;

    // A regional curve `a` and its fit `b`, both indexed by age: a[age - 1] is the value at
    // biological year `age`. Ages first .. last (1-based, as biological years) are drawn at
    // x = age + offset with the values a[age + offset - 1] and b[age + offset - 1]; points whose
    // fit equals `missing` are left out. series[age - 1] is the number of series at each age
    // (drawn against the right axis; empty: not drawn). Saving writes "fig11.ps".
    virtual void plt1(std::span<const float> a, std::span<const float> b, int first, int last, float missing,
                      std::string_view title, int offset, std::span<const int> series) = 0;

    // First detrending of all series: data holds one column per series by position (row 0 = the
    // series' own first year, as in the Series table); years[i] gives series i's first and last
    // year. Upper panel every series, lower panel their mean by year. Saving writes "fig11.ps".
    virtual void plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) = 0;

    // One series against age (upper panel) and calendar year (lower panel). Returns false when
    // the user answers "[n]o more plots" (the more-plots flag becomes 0). Saving writes "fig1.ps".
    virtual bool plt3(const TreeRingPlot& plot) = 0;

    // Regional curve and fit per iteration, one panel each. curves holds 2k columns by age
    // (row age - 1): column 2j the regional curve of iteration j (j = 0 is the initial one),
    // column 2j + 1 its fit; n ages; series[age - 1] the series per age (empty: not drawn).
    // More than 20 iterations prints a message instead (with a pause only when a menu would be
    // shown). Saving writes "fig1.ps".
    virtual void plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing,
                      std::span<const int> series) = 0;

    // All regional curves together: the same arguments as plt4; the fit of each iteration is
    // drawn, the first in blue, the last in red, the others in grey. Saving writes "fig1.ps".
    virtual void plt5(const YearMatrix& curves, int n, int k, int age_offset, float missing,
                      std::span<const int> series) = 0;

    // Power spectra on a logarithmic axis, with a period axis on top; powers of 0 or below are
    // left out. Saving writes "fig1b.ps".
    virtual void plt6(const SpectrumPlot& plot) = 0;

    // Many lines over the same years. Saving writes the title's file name as plot1 does.
    virtual void spaghetti(const SpaghettiPlot& plot) = 0;

    // Every series in its initial and final form. Drawn once: no menu, no saving, no input.
    virtual void linguine2(const LinguinePlot& plot) = 0;

    // Spread-versus-level points of the power transform: column j of x and y holds counts[j]
    // points of series j (m = counts.size()), with the fitted line slope[j] * x + intercept[j];
    // the title gives the pooled fit and correlation. Saving writes "fig1b.ps".
    virtual void scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                         std::span<const float> intercept, std::span<const int> counts, float correlation,
                         float pooled_intercept, float pooled_slope) = 0;

    // The series' spans ("Series Spans"), drawn once the series of the run are known. Saving
    // writes "SeriesSpans.ps". Plotters that record other plots may leave it out.
    virtual void segment_plot(const SegmentPlot&) {}

    // The crossdating checks ("Crossdating Segments"), drawn once the checks are done. Saving
    // writes "CrossdatingSegments.ps". Plotters that record other plots may leave it out.
    virtual void crossdating_plot(const CrossdatingPlot&) {}
};

}  // namespace kestrovan
