#pragma once
// The plot interface. The engine, the diagnostics, the power transform and the final output draw
// every plot through one Plotter, handing over data only. Three implementations sit behind it:
//   - plots off (--no-plots): draws nothing and reads no input;
//   - a file device (pngcairo, svgcairo, ...): each drawing goes to its own numbered file named
//     after the plot, and no menu is shown (no input is read);
//   - the screen (an interactive device when a display opens, else PLplot's "null" device): each
//     drawing is followed by the plot options menu, whose [s]ave writes a PostScript ("psc") file.
// Arrays handed in are never changed. Values equal to the missing code are left out where a plot
// says so.
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "io/series_table.hpp"
#include "io/year_matrix.hpp"

namespace kestrovan {

struct PlotSettings {
    bool enabled = true;    // false with --no-plots
    std::string device;     // --device NAME; "" chooses the screen device automatically
    std::string directory;  // where plot files are written; "" = the current directory
};

class Plotter {
public:
    virtual ~Plotter() = default;

    // False when plots are off: callers may skip preparing data for a plot.
    virtual bool enabled() const = 0;

    // General plot of two series over calendar years: x = first_year + i. The lines drawn have
    // min(y1.size(), y2.size()) points. `reference` is drawn in black unless it is empty or its
    // first value is -999.9; a first value of 0.85 draws it dashed and ends the y axis at 1.0;
    // width_ref 0 starts the y axis at 0. A legend whose first 5 characters are blank is not
    // written. Saving writes "<title with blanks closed up>.ps".
    virtual void plot1(std::span<const float> y1, std::span<const float> y2, int first_year,
                       std::string_view x_label, std::string_view y_label, std::string_view title,
                       std::span<const float> reference, std::string_view legend1,
                       std::string_view legend2, float width1, float width2, float width_ref) = 0;

    // A regional curve `a` and its fit `b`, both indexed by age: a[age - 1] is the value at
    // biological year `age`. Ages first .. last (1-based, as biological years) are drawn at
    // x = age + offset with the values a[age + offset - 1] and b[age + offset - 1]; points whose
    // fit equals `missing` are left out. Saving writes "fig11.ps".
    virtual void plt1(std::span<const float> a, std::span<const float> b, int first, int last,
                      float missing, std::string_view title, int offset) = 0;

    // First detrending of all series: data holds one column per series by position (row 0 = the
    // series' own first year, as in the Series table); years[i] gives series i's first and last
    // year. Upper panel every series, lower panel their mean by year. Saving writes "fig11.ps".
    virtual void plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) = 0;

    // One series against age (upper panel) and calendar year (lower panel).
    //   by_year: the series from its first year (by_year[0] = first_year) to last_year;
    //   by_age:  the series by ring: by_age[j - 1] is ring j, drawn at age age_before + j;
    //   curve:   the regional curve by age (curve[age - 1]), drawn at the ages the series covers;
    //   curve_ages + age_offset: the end of the age axis.
    // Returns false when the user answers "[n]o more plots" (the more-plots flag becomes 0).
    // Saving writes "fig1".
    virtual bool plt3(std::span<const float> by_year, std::span<const float> by_age,
                      std::span<const float> curve, int first_year, int last_year, float missing,
                      int curve_ages, std::string_view id, std::string_view title, int age_before,
                      int age_offset) = 0;

    // Regional curve and fit per iteration, one panel each. curves holds 2k columns by age
    // (row age - 1): column 2j the regional curve of iteration j (j = 0 is the initial one),
    // column 2j + 1 its fit; n ages. More than 20 iterations prints a message instead (with a
    // pause only when a menu would be shown). Saving writes "fig1".
    virtual void plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing) = 0;

    // All regional curves together: the same arguments as plt4; the fit of each iteration is
    // drawn, the first in blue, the last in red, the others in black. Saving writes "fig1".
    virtual void plt5(const YearMatrix& curves, int n, int k, int age_offset, float missing) = 0;

    // Power spectra: frequency[i] against log10 of power2[i] and power3[i] for the first n rows;
    // powers of 0 or below are left out. Saving writes "fig1b.ps".
    virtual void plt6(std::span<const float> frequency, std::span<const float> power2,
                      std::span<const float> power3, int n, std::string_view legend2,
                      std::string_view legend3) = 0;

    // Many lines of n points each over the same years (x = first_year + i): column j of `lines`
    // for j = 0 .. m - 1; the first in blue, the last in red, the others in black. `reference`
    // (unless empty or starting with -999.9) is drawn in black. Saving writes the title's file
    // name as plot1 does.
    virtual void spaghetti(const YearMatrix& lines, int n, int m, std::span<const float> reference,
                           int first_year, std::string_view x_label, std::string_view y_label,
                           std::string_view title, std::string_view legend1,
                           std::string_view legend2) = 0;

    // Every series in its initial (blue) and final (red) form over its own years, with the mean
    // (unless empty or starting with -999.9) over the summary years on top. initial and final
    // hold one column per series by position (row 0 = the series' first year); m = years.size().
    // Drawn once: no menu, no saving, no input.
    virtual void linguine2(const YearMatrix& initial, const YearMatrix& final,
                           std::span<const float> mean, std::span<const YearSpan> years,
                           YearSpan summary, std::string_view x_label, std::string_view y_label,
                           std::string_view title, std::string_view legend1,
                           std::string_view legend2) = 0;

    // Spread-versus-level points of the power transform: column j of x and y holds counts[j]
    // points of series j (m = counts.size()), with the fitted line slope[j] * x + intercept[j];
    // the title gives the pooled fit and correlation. Saving writes "fig1b.ps".
    virtual void scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                         std::span<const float> intercept, std::span<const int> counts,
                         float correlation, float pooled_intercept, float pooled_slope) = 0;
};

// Builds the plotter for the settings. Device problems (no display, an unknown device name) fall
// back to the "null" device with one message on the console; they never end the program.
std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console);

// Points PLplot at its font directory (environment variable PLPLOT_LIB, overwriting any earlier
// value). make_plotter calls it too; calling it again does no harm.
void set_plplot_lib();

}  // namespace kestrovan
