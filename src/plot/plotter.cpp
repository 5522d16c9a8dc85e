#include "plot/plotter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

#include "console/format.hpp"
#include "plot/canvas.hpp"
#include "plot/plot_device.hpp"
#include "plot/plot_ranges.hpp"

#ifndef KESTROVAN_PLPLOT_LIB
#define KESTROVAN_PLPLOT_LIB "/usr/share/plplot5.15.0"
#endif

namespace kestrovan {

void set_plplot_lib() { ::setenv("PLPLOT_LIB", KESTROVAN_PLPLOT_LIB, 1); }

namespace {

// The colours of the plotter's header, by meaning.
constexpr int kBlack = 15;                      // frame, labels, reference and mean lines
constexpr int kBlue = 9;                        // data; the first series of a pair
constexpr int kRed = 1;                         // fitted curves; the second series of a pair
constexpr int kGrey = 7;                        // intermediate iterations
constexpr int kGreen = 3;                       // sample size
constexpr int kStatistics[] = {13, 10, 8, 14};  // further lines with a meaning of their own

constexpr const char* kAgeLabel = "Biological age (years)";
constexpr const char* kSampleLegend = "Sample size";
constexpr const char* kSampleAxis = "Sample size (series)";

// ---------------------------------------------------------------------------------------------
// Drawing helpers on a canvas.

// A polyline of points (x, y).
class Line {
public:
    void add(double x, double y) {
        xs_.push_back(x);
        ys_.push_back(y);
    }
    void draw(Canvas& c) const {
        if (!xs_.empty()) c.line(xs_, ys_);
    }
    bool empty() const { return xs_.empty(); }

private:
    std::vector<double> xs_, ys_;
};

// Draws values[i] at x0 + i as a line broken wherever a value is left out (equal to `skip`).
void draw_broken(Canvas& c, std::span<const float> values, double x0, float skip = kMissing) {
    Line run;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == skip || !std::isfinite(values[i])) {
            run.draw(c);
            run = Line{};
            continue;
        }
        run.add(x0 + static_cast<double>(i), values[i]);
    }
    run.draw(c);
}

std::span<const float> head(std::span<const float> s, long long n) {
    if (n <= 0) return {};
    return s.first(std::min<std::size_t>(s.size(), static_cast<std::size_t>(n)));
}

// One series of a by-position matrix over its own years.
std::span<const float> series_span(const YearMatrix& m, int j, const YearSpan& y) {
    if (j < 0 || j >= m.cols()) return {};
    return head(m.column(j), static_cast<long long>(y.last) - y.first + 1);
}

AxisRange extent_of(std::initializer_list<std::span<const float>> parts, float skip, float lo, float hi) {
    AxisRange r{lo, hi};
    for (auto part : parts)
        for (float v : part)
            if (v != skip && std::isfinite(v)) {
                r.min = std::min(r.min, v);
                r.max = std::max(r.max, v);
            }
    return r;
}

bool legend_blank(std::string_view legend) {
    auto first = legend.substr(0, 5);
    return std::all_of(first.begin(), first.end(), [](char c) { return c == ' '; });
}

std::string trimmed(std::string_view s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string_view::npos) return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// The legend entries of a box, written in one row just above it, each in its line's colour. The
// row is centred; when it is wider than the box its texts are made smaller until it fits, so
// that entries never overlap.
class Legends {
public:
    void add(int colour, std::string_view text) {
        std::string t = trimmed(text);
        if (!t.empty()) entries_.push_back({colour, std::move(t)});
    }
    void draw(Canvas& c) const {
        if (entries_.empty()) return;
        constexpr double gap = 0.05;  // between entries, as a fraction of the box width
        std::vector<double> widths;
        double texts = 0.0;
        for (const auto& e : entries_) {
            widths.push_back(c.text_fraction(e.text));
            texts += widths.back();
        }
        const double gaps = gap * static_cast<double>(entries_.size() - 1);
        const double scale = texts + gaps > 1.0 ? std::max(0.5, (1.0 - gaps) / texts) : 1.0;
        const double row = texts * scale + gaps;
        double at = std::max(0.0, (1.0 - row) / 2.0);
        c.text_size(scale);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            c.colour(entries_[i].colour);
            c.text({"t", 0.6, at, 0.0}, entries_[i].text);
            at += widths[i] * scale + gap;
        }
        c.text_size(1.0);
        c.colour(kBlack);
    }

private:
    struct Entry {
        int colour;
        std::string text;
    };
    std::vector<Entry> entries_;
};

// Series per age (or per year) against the right-hand axis, from x0 on, in green.
void draw_sample_size(Canvas& c, std::span<const int> counts, double x0, std::size_t from, std::size_t to) {
    to = std::min(to, counts.size());
    if (from >= to) return;
    int top = 0;
    for (std::size_t i = from; i < to; ++i) top = std::max(top, counts[i]);
    c.colour(kBlack);
    c.right_axis(with_margin({0.0f, static_cast<float>(std::max(top, 1))}), kSampleAxis);
    c.colour(kGreen);
    c.pen(1);
    Line line;
    for (std::size_t i = from; i < to; ++i) line.add(x0 + static_cast<double>(i), counts[i]);
    line.draw(c);
    c.colour(kBlack);
}

std::string join_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// PLplot ends the process when it cannot open its output file, so the file is tried first.
bool can_create(const std::string& path) {
    std::ofstream f(path, std::ios::out | std::ios::trunc);
    return f.is_open();
}

// More than 20 iterations do not fit on one page of panels.
void too_many_curves(Console& console, bool pause) {
    console.blank_line();
    console.line("Too many Regional curves to plot. Try plotting them outside this program.", 2);
    if (pause) {
        console.line("Hit RETURN to Continue", 2);
        (void)console.try_ask();
    }
}

// ---------------------------------------------------------------------------------------------
// Plots off: nothing is drawn and nothing is read.

class NoPlotter final : public Plotter {
public:
    explicit NoPlotter(Console& console) : console_(console) {}
    bool enabled() const override { return false; }
    void plot1(const LinePlot&) override {}
    void plt1(std::span<const float>, std::span<const float>, int, int, float, std::string_view, int,
              std::span<const int>) override {}
    void plt2(const YearMatrix&, std::span<const YearSpan>, float) override {}
    bool plt3(const TreeRingPlot&) override { return true; }
    void plt4(const YearMatrix&, int, int k, int, float, std::span<const int>) override {
        if (k > 20) too_many_curves(console_, false);
    }
    void plt5(const YearMatrix&, int, int, int, float, std::span<const int>) override {}
    void plt6(std::span<const float>, std::span<const float>, std::span<const float>, int, std::string_view,
              std::string_view) override {}
    void spaghetti(const SpaghettiPlot&) override {}
    void linguine2(const LinguinePlot&) override {}
    void scatplt(const YearMatrix&, const YearMatrix&, std::span<const float>, std::span<const float>,
                 std::span<const int>, float, float, float) override {}

private:
    Console& console_;
};

// ---------------------------------------------------------------------------------------------
// Plots drawn on a canvas.

enum class MenuKind { Standard, NoMorePlots, None };

struct Drawing {
    std::string save_name;  // the PostScript file of [s]ave (its first save in the run)
    std::string tag;        // names the file on a file device
    int nx = 1, ny = 1;     // subpages
    MenuKind menu = MenuKind::Standard;
    std::function<void(Canvas&)> draw;
};

// Ends the drawing on the canvas when it goes out of scope, also when drawing throws, so that the
// next plot starts afresh.
struct CanvasCloser {
    Canvas& canvas;
    ~CanvasCloser() { canvas.close(); }
};

class DrawingPlotter final : public Plotter {
public:
    DrawingPlotter(Console& console, DeviceChoice device, const PlotSettings& settings,
                   std::unique_ptr<Canvas> canvas)
        : console_(console), device_(std::move(device)), settings_(settings), canvas_(std::move(canvas)) {}

    bool enabled() const override { return true; }

    void plot1(const LinePlot& p) override;
    void plt1(std::span<const float> a, std::span<const float> b, int first, int last, float missing,
              std::string_view title, int offset, std::span<const int> series) override;
    void plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) override;
    bool plt3(const TreeRingPlot& p) override;
    void plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing,
              std::span<const int> series) override;
    void plt5(const YearMatrix& curves, int n, int k, int age_offset, float missing,
              std::span<const int> series) override;
    void plt6(std::span<const float> frequency, std::span<const float> power2, std::span<const float> power3,
              int n, std::string_view legend2, std::string_view legend3) override;
    void spaghetti(const SpaghettiPlot& p) override;
    void linguine2(const LinguinePlot& p) override;
    void scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                 std::span<const float> intercept, std::span<const int> counts, float correlation,
                 float pooled_intercept, float pooled_slope) override;

private:
    // The draw-and-ask cycle; false when the user asked for no more plots of this kind.
    bool show(const Drawing& d);
    void draw_on(const CanvasPage& page, const Drawing& d);
    void save(const Drawing& d);
    void print_menu(MenuKind kind);
    bool window() const { return device_.name != "null"; }

    Console& console_;
    DeviceChoice device_;
    PlotSettings settings_;
    std::unique_ptr<Canvas> canvas_;
    int file_counter_ = 0;
    std::set<std::string> saved_;  // the files this run's saves wrote
};

void DrawingPlotter::draw_on(const CanvasPage& page, const Drawing& d) {
    canvas_->open(page);
    const CanvasCloser end{*canvas_};
    d.draw(*canvas_);
}

void DrawingPlotter::print_menu(MenuKind kind) {
    console_.blank_line();
    console_.line("|************* plot options menu ***************|", 2);
    console_.line("|-----------------------------------------------|", 2);
    if (kind == MenuKind::NoMorePlots)
        console_.line("| [s]ave  [c]ontinue  [r]eplot  [n]o more plots |", 2);
    else
        console_.line("|       [s]ave   <[c]ontinue>   [r]eplot        |", 2);
    console_.line("|_______________________________________________|", 2);
    console_.blank_line();
    console_.text(" enter option number > ");
}

// Saves the plot as PostScript: the first save under its own name, a later one that would
// replace a file of this run under a numbered name.
void DrawingPlotter::save(const Drawing& d) {
    std::string target = join_path(settings_.directory, d.save_name);
    for (int k = 2; saved_.count(target) > 0; ++k)
        target = join_path(settings_.directory, numbered_name(d.save_name, k));
    if (!can_create(target)) {
        console_.line("Cannot create the plot file " + target, 2);
        return;
    }
    draw_on({"psc", target, d.nx, d.ny, false}, d);
    saved_.insert(target);
    console_.line("Plot saved to " + target, 2);
}

bool DrawingPlotter::show(const Drawing& d) {
    if (device_.kind == DeviceKind::File) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", ++file_counter_);
        const std::string path =
            join_path(settings_.directory, "plot" + std::string(number) + "_" + d.tag + device_.extension);
        if (can_create(path))
            draw_on({device_.name, path, d.nx, d.ny, false}, d);
        else
            console_.line("Cannot create the plot file " + path, 2);
        return true;
    }
    const CanvasPage screen{device_.name, "", d.nx, d.ny, false};
    if (d.menu == MenuKind::None || !settings_.interactive) {
        // No menu: a plot without one stays until a key is pressed in its window, and says so;
        // with answers from a file nothing waits.
        CanvasPage page = screen;
        page.wait_at_end = d.menu == MenuKind::None && settings_.interactive && window();
        if (page.wait_at_end) console_.line("Press a key in the plot window to go on.", 2);
        draw_on(page, d);
        return true;
    }
    // The window stays open while the menu is answered; it closes when the user goes on.
    canvas_->open(screen);
    const CanvasCloser end{*canvas_};
    d.draw(*canvas_);
    canvas_->show();
    for (;;) {
        print_menu(d.menu);
        const auto answer = console_.try_ask();
        const char c = answer ? first_char(*answer) : 'c';  // end of input: the default
        if (c == 's' || c == 'S') {
            save(d);
        } else if (c == 'r' || c == 'R') {
            canvas_->close();
            canvas_->open(screen);
            d.draw(*canvas_);
            canvas_->show();
        } else {
            return !(d.menu == MenuKind::NoMorePlots && (c == 'n' || c == 'N'));
        }
    }
}

void DrawingPlotter::plot1(const LinePlot& p) {
    const bool two = !p.y2.empty();
    const std::size_t n = two ? std::min(p.y1.size(), p.y2.size()) : p.y1.size();
    Drawing d;
    d.save_name = title_file_name(p.title);
    d.tag = file_tag(p.title);
    d.draw = [&, n, two](Canvas& c) {
        const AxisRange y = plot1_y_range(p.y1, two ? p.y2 : p.y1, n, p.reference, p.width_ref);
        const AxisRange x{static_cast<float>(p.first_year),
                          static_cast<float>(p.first_year + static_cast<long long>(n) - 1)};
        const bool counts = !p.sample_size.empty();
        const bool reference = reference_drawn(p.reference);
        c.colour(kBlack);
        c.pen(1);
        c.box(x, y, BoxStyle::Plain, counts);
        c.labels(p.x_label, p.y_label, p.title);
        Legends legends;
        if (reference) {
            c.pen(p.width_ref);
            c.dashed(p.reference[0] == 0.85f);
            draw_broken(c, head(p.reference, static_cast<long long>(n)), p.first_year);
            c.dashed(false);
        }
        c.colour(kBlue);
        c.pen(p.width1);
        draw_broken(c, head(p.y1, static_cast<long long>(n)), p.first_year);
        if (!legend_blank(p.legend1)) legends.add(kBlue, p.legend1);
        if (two) {
            c.colour(kRed);
            c.pen(p.width2);
            draw_broken(c, head(p.y2, static_cast<long long>(n)), p.first_year);
            if (!legend_blank(p.legend2)) legends.add(kRed, p.legend2);
        }
        c.pen(1);
        if (reference) legends.add(kBlack, p.reference_legend);
        if (counts) {
            draw_sample_size(c, p.sample_size, p.first_year, 0, n);
            legends.add(kGreen, kSampleLegend);
        }
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::plt1(std::span<const float> a, std::span<const float> b, int first, int last,
                          float missing, std::string_view title, int offset, std::span<const int> series) {
    Drawing d;
    d.save_name = "fig11.ps";
    d.tag = file_tag(title);
    d.draw = [&](Canvas& c) {
        AxisRange y{9999.0f, -9999.0f};
        Line line_a, line_b;
        auto value = [](std::span<const float> s, long long age) -> const float* {
            return age >= 1 && age <= static_cast<long long>(s.size()) ? &s[static_cast<std::size_t>(age - 1)]
                                                                       : nullptr;
        };
        auto take = [&](const float* v) {
            if (v && *v != missing && std::isfinite(*v)) {
                y.min = std::min(y.min, *v);
                y.max = std::max(y.max, *v);
            }
        };
        for (long long i = first; i <= last; ++i) {
            // The values drawn are those at i + offset.
            const float* va = value(a, i + offset);
            const float* vb = value(b, i + offset);
            if (!vb || *vb == missing) continue;
            take(va);
            take(vb);
            if (va && *va != missing) line_a.add(static_cast<double>(i + offset), *va);
            line_b.add(static_cast<double>(i + offset), *vb);
        }
        const bool counts = !series.empty();
        c.colour(kBlack);
        c.pen(1);
        c.box({0.0f, static_cast<float>(last + offset)}, with_margin(y), BoxStyle::Grid, counts);
        c.labels(kAgeLabel, settings_.measurement_label, title);
        c.colour(kBlue);
        line_a.draw(c);
        c.colour(kRed);
        c.pen(2);
        line_b.draw(c);
        c.pen(1);
        Legends legends;
        legends.add(kBlue, "Regional curve");
        legends.add(kRed, "Fit");
        if (counts) {
            const long long from = std::max<long long>(first + offset, 1) - 1;
            draw_sample_size(c, series, 1.0, static_cast<std::size_t>(from),
                             static_cast<std::size_t>(std::max<long long>(last + offset, 0)));
            legends.add(kGreen, kSampleLegend);
        }
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) {
    Drawing d;
    d.save_name = "fig11.ps";
    d.tag = "FirstDetrending";
    d.ny = 2;
    d.draw = [&](Canvas& c) {
        AxisRange y{1.0e30f, -1.0e30f};
        int x0 = 0, x1 = 0;
        for (std::size_t j = 0; j < years.size(); ++j) {
            y = extent_of({series_span(data, static_cast<int>(j), years[j])}, missing, y.min, y.max);
            x0 = j == 0 ? years[j].first : std::min(x0, years[j].first);
            x1 = j == 0 ? years[j].last : std::max(x1, years[j].last);
        }
        y = with_margin(y);
        const AxisRange x{static_cast<float>(x0), static_cast<float>(x1)};
        c.colour(kBlack);
        c.pen(1);
        c.box(x, y, BoxStyle::Grid);
        c.labels("Year", "Index", "First Detrending");
        c.colour(kBlue);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(c, series_span(data, static_cast<int>(j), years[j]), years[j].first, missing);
        Legends upper;
        upper.add(kBlue, "Indices of each series");
        upper.draw(c);

        const std::vector<float> mean =
            years.empty() ? std::vector<float>{} : yearly_means(data, years, missing, x0, x1);
        c.colour(kBlack);
        c.box(x, y, BoxStyle::Grid);
        c.labels("Year", "Index", "Average Indices");
        c.pen(2);
        draw_broken(c, mean, x0);
        c.pen(1);
        Legends lower;
        lower.add(kBlack, "Mean of the series' indices");
        lower.draw(c);
    };
    show(d);
}

bool DrawingPlotter::plt3(const TreeRingPlot& p) {
    const auto& [by_year, by_age, curve, first_year, last_year, missing, curve_ages, id, title, age_before,
                 age_offset] = p;
    Drawing d;
    d.save_name = "fig1.ps";
    d.tag = file_tag(std::string(title) + "_" + std::string(id));
    d.ny = 2;
    d.menu = MenuKind::NoMorePlots;
    d.draw = [&](Canvas& c) {
        Line rc;
        for (std::size_t j = 0; j < by_age.size(); ++j) {
            const long long age = static_cast<long long>(age_before) + static_cast<long long>(j) + 1;
            if (age < 1 || age > static_cast<long long>(curve.size())) continue;
            const float v = curve[static_cast<std::size_t>(age - 1)];
            if (v != missing && std::isfinite(v)) rc.add(static_cast<double>(age), v);
        }
        const AxisRange upper = extent_of({by_age, curve}, missing, 0.0f, 0.0f);
        c.colour(kBlack);
        c.pen(1);
        c.box({0.0f, static_cast<float>(curve_ages + age_offset)}, with_margin({0.0f, upper.max}),
              BoxStyle::Grid);
        c.labels(kAgeLabel, settings_.measurement_label, title);
        c.colour(kBlue);
        draw_broken(c, by_age, age_before + 1, missing);
        c.colour(kRed);
        c.pen(2);
        rc.draw(c);
        c.pen(1);
        Legends top;
        top.add(kBlue, "Series by age");
        top.add(kRed, "Regional curve");
        top.draw(c);

        auto series = head(by_year, static_cast<long long>(last_year) - first_year + 1);
        const AxisRange lower = with_margin(extent_of({series}, missing, 1.0e30f, -1.0e30f));
        c.colour(kBlack);
        c.box({static_cast<float>(first_year), static_cast<float>(last_year)}, lower, BoxStyle::Grid);
        c.labels("Year", settings_.measurement_label, id.substr(0, 8));
        c.colour(kBlue);
        draw_broken(c, series, first_year, missing);
        Legends bottom;
        bottom.add(kBlue, "Measurements by year");
        bottom.draw(c);
    };
    return show(d);
}

// The curves of plt4 and plt5: the first n ages of columns 0 .. 2k - 1.
AxisRange curves_range(const YearMatrix& curves, int n, int k, float missing) {
    AxisRange y{1.0e30f, -1.0e30f};
    for (int c = 0; c < std::min(2 * k, curves.cols()); ++c)
        y = extent_of({head(curves.column(c), n)}, missing, y.min, y.max);
    return with_margin(y);
}

std::span<const float> curve_column(const YearMatrix& curves, int c, int n) {
    if (c < 0 || c >= curves.cols()) return {};
    return head(curves.column(c), n);
}

// The ages with a series: from the first age with a count to the last.
std::pair<std::size_t, std::size_t> counted_ages(std::span<const int> series) {
    std::size_t from = 0, to = series.size();
    while (from < to && series[from] <= 0) ++from;
    while (to > from && series[to - 1] <= 0) --to;
    return {from, to};
}

void DrawingPlotter::plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing,
                          std::span<const int> series) {
    const PageLayout layout = plt4_layout(k);
    if (layout.columns == 0) {
        too_many_curves(console_, device_.kind == DeviceKind::Screen && settings_.interactive);
        return;
    }
    Drawing d;
    d.save_name = "fig1.ps";
    d.tag = "RegionalCurveFits";
    d.nx = layout.columns;
    d.ny = layout.rows;
    d.draw = [&](Canvas& c) {
        const AxisRange y = curves_range(curves, n, k, missing);
        const auto [from, to] = counted_ages(series);
        for (int j = 0; j < k; ++j) {
            auto raw = curve_column(curves, 2 * j, n);
            auto fit = curve_column(curves, 2 * j + 1, n);
            Line line_raw, line_fit;
            int kept = 0, last_age = 0;
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == missing || !std::isfinite(raw[i])) continue;
                ++kept;
                last_age = static_cast<int>(i) + 1;
                line_raw.add(last_age, raw[i]);
                if (i < fit.size() && fit[i] != missing && std::isfinite(fit[i]))
                    line_fit.add(last_age, fit[i]);
            }
            c.colour(kBlack);
            c.pen(1);
            c.box({0.0f, static_cast<float>(std::max(age_offset + kept, last_age))}, y, BoxStyle::Grid,
                  from < to);
            c.labels(kAgeLabel, settings_.measurement_label,
                     j == 0 ? std::string("Initial RC and Fit") : "Iteration #" + fmt_i(j, 3));
            c.colour(kBlue);
            line_raw.draw(c);
            c.colour(kRed);
            c.pen(2);
            line_fit.draw(c);
            c.pen(1);
            Legends legends;
            legends.add(kBlue, "Regional curve");
            legends.add(kRed, "Fit");
            if (from < to) {
                draw_sample_size(c, series, 1.0, from, to);
                legends.add(kGreen, kSampleLegend);
            }
            legends.draw(c);
        }
    };
    show(d);
}

void DrawingPlotter::plt5(const YearMatrix& curves, int n, int k, int /*age_offset*/, float missing,
                          std::span<const int> series) {
    Drawing d;
    d.save_name = "fig1.ps";
    d.tag = "RegionalCurves";
    d.draw = [&](Canvas& c) {
        const AxisRange y = curves_range(curves, n, k, missing);
        const auto [from, to] = counted_ages(series);
        c.colour(kBlack);
        c.pen(1);
        c.box({0.0f, static_cast<float>(n + 10)}, y, BoxStyle::Grid, from < to);
        c.labels(kAgeLabel, settings_.measurement_label, "Regional Curves");
        // The intermediate curves first, so that the first and the last lie on top.
        std::vector<int> order;
        for (int j = 1; j + 1 < k; ++j) order.push_back(j);
        if (k > 1) order.push_back(0);
        if (k > 0) order.push_back(k - 1);
        for (int j : order) {
            c.colour(j == k - 1 ? kRed : j == 0 ? kBlue : kGrey);
            Line line;
            auto fit = curve_column(curves, 2 * j + 1, n);
            for (std::size_t i = 0; i < fit.size(); ++i)
                if (fit[i] != missing && std::isfinite(fit[i])) line.add(static_cast<double>(i) + 1, fit[i]);
            line.draw(c);
        }
        Legends legends;
        if (k > 1) legends.add(kBlue, "Initial fit");
        if (k > 2) legends.add(kGrey, "Iterations between");
        if (k > 0) legends.add(kRed, "Final fit");
        if (from < to) {
            draw_sample_size(c, series, 1.0, from, to);
            legends.add(kGreen, kSampleLegend);
        }
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::plt6(std::span<const float> frequency, std::span<const float> power2,
                          std::span<const float> power3, int n, std::string_view legend2,
                          std::string_view legend3) {
    Drawing d;
    d.save_name = "fig1b.ps";
    d.tag = file_tag(std::string(legend2) + "_" + std::string(legend3));
    d.draw = [&](Canvas& c) {
        const std::size_t rows = std::min(
            {frequency.size(), power2.size(), power3.size(), static_cast<std::size_t>(std::max(n, 0))});
        AxisRange x{1.0e30f, -1.0e30f};
        for (std::size_t i = 0; i < rows; ++i) {
            x.min = std::min(x.min, frequency[i]);
            x.max = std::max(x.max, frequency[i]);
        }
        // Powers of 0 or below have no logarithm: they are left out (the line breaks there).
        const std::vector<float> log2 = log10_powers(power2, rows), log3 = log10_powers(power3, rows);
        const AxisRange y = with_margin(extent_of({log2, log3}, kMissing, 1.0e30f, -1.0e30f));
        auto draw_log = [&](const std::vector<float>& v) {
            Line run;
            for (std::size_t i = 0; i < rows; ++i) {
                if (v[i] == kMissing) {
                    run.draw(c);
                    run = Line{};
                } else {
                    run.add(frequency[i], v[i]);
                }
            }
            run.draw(c);
        };
        c.pen(1);
        c.colour(kBlack);
        c.box(x, y, BoxStyle::LogY);
        c.labels("Frequency (cycles/yr)", "Power", "");
        c.colour(kBlue);
        draw_log(log2);
        c.colour(kRed);
        draw_log(log3);
        Legends legends;
        legends.add(kBlue, legend2);
        legends.add(kRed, legend3);
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::spaghetti(const SpaghettiPlot& p) {
    Drawing d;
    d.save_name = title_file_name(p.title);
    d.tag = file_tag(p.title);
    d.draw = [&](Canvas& c) {
        static const YearMatrix none;
        const YearMatrix& lines = p.lines ? *p.lines : none;
        const int m = std::min(p.m, lines.cols());
        const std::size_t points = static_cast<std::size_t>(std::clamp(p.n, 0, lines.rows()));
        const bool own = !p.line_legends.empty();
        c.colour(kBlack);
        c.pen(1);
        c.box({static_cast<float>(p.first_year), static_cast<float>(p.first_year + p.n - 1)},
              spaghetti_y_range(lines, p.n, p.m), BoxStyle::Plain);
        c.labels(p.x_label, p.y_label, p.title);
        if (reference_drawn(p.reference)) draw_broken(c, head(p.reference, std::max(p.n, 0)), p.first_year);
        auto colour_of = [&](int j) {
            if (own) return kStatistics[static_cast<std::size_t>(j) % std::size(kStatistics)];
            return j == p.m - 1 ? kRed : j == 0 ? kBlue : kGrey;
        };
        // Without legends of their own the intermediate lines go first, under the first and last.
        std::vector<int> order;
        for (int j = 0; j < m; ++j)
            if (own || (j != 0 && j != p.m - 1)) order.push_back(j);
        if (!own) {
            if (m > 0 && p.m > 1) order.push_back(0);
            if (m == p.m && m > 0) order.push_back(m - 1);
        }
        for (int j : order) {
            c.colour(colour_of(j));
            draw_broken(c, head(lines.column(j), static_cast<long long>(points)), p.first_year);
        }
        Legends legends;
        if (own) {
            legends.add(kBlack, p.legend1);
            for (int j = 0; j < m && j < static_cast<int>(p.line_legends.size()); ++j)
                legends.add(colour_of(j), p.line_legends[static_cast<std::size_t>(j)]);
        } else {
            if (p.m > 1) legends.add(kBlue, p.legend1);
            if (p.m > 2) legends.add(kGrey, "Iterations between");
            if (p.m > 0) legends.add(kRed, p.legend2);
        }
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::linguine2(const LinguinePlot& p) {
    const YearMatrix& initial = *p.initial;
    const YearMatrix& final = *p.final;
    const auto& [initial_ptr, final_ptr, mean, years, summary, x_label, y_label, title, legend1, legend2] = p;
    (void)initial_ptr;
    (void)final_ptr;
    Drawing d;
    d.tag = file_tag(title);
    d.menu = MenuKind::None;
    d.draw = [&](Canvas& c) {
        int x0 = 0, x1 = 0;
        for (std::size_t j = 0; j < years.size(); ++j) {
            x0 = j == 0 ? years[j].first : std::min(x0, years[j].first);
            x1 = j == 0 ? years[j].last : std::max(x1, years[j].last);
        }
        c.colour(kBlack);
        c.pen(1);
        c.box({static_cast<float>(x0), static_cast<float>(x1)}, linguine_y_range(initial, final, years),
              BoxStyle::Plain);
        c.labels(x_label, y_label, title);
        c.colour(kBlue);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(c, series_span(initial, static_cast<int>(j), years[j]), years[j].first);
        c.colour(kRed);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(c, series_span(final, static_cast<int>(j), years[j]), years[j].first);
        Legends legends;
        legends.add(kBlue, legend1);
        legends.add(kRed, legend2);
        if (reference_drawn(mean)) {
            c.pen(2);
            c.colour(kBlack);
            draw_broken(c, head(mean, static_cast<long long>(summary.last) - summary.first + 1),
                        summary.first);
            c.pen(1);
            legends.add(kBlack, "Mean");
        }
        legends.draw(c);
    };
    show(d);
}

void DrawingPlotter::scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                             std::span<const float> intercept, std::span<const int> counts, float correlation,
                             float pooled_intercept, float pooled_slope) {
    Drawing d;
    d.save_name = "fig1b.ps";
    d.tag = "SpreadVersusLevel";
    d.draw = [&](Canvas& c) {
        const ScatterRanges r = scatter_ranges(x, y, counts);
        c.pen(1);
        c.colour(kBlack);
        c.box(r.x, r.y, BoxStyle::Grid);
        c.labels("log(LEVEL), level in mm", "log(SPREAD), spread in mm",
                 scatter_title(correlation, pooled_intercept, pooled_slope));
        for (std::size_t j = 0; j < counts.size(); ++j) {
            const int col = static_cast<int>(j);
            if (col >= x.cols() || col >= y.cols()) break;
            const std::size_t cnt =
                static_cast<std::size_t>(std::clamp(counts[j], 0, std::min(x.rows(), y.rows())));
            std::vector<double> px(cnt), py(cnt), fit(cnt);
            for (std::size_t i = 0; i < cnt; ++i) {
                px[i] = x(static_cast<int>(i), col);
                py[i] = y(static_cast<int>(i), col);
                const double s = j < slope.size() ? slope[j] : 0.0;
                const double b = j < intercept.size() ? intercept[j] : 0.0;
                fit[i] = s * px[i] + b;
            }
            if (cnt == 0) continue;
            c.colour(kBlue);
            c.pen(2);
            c.points(px, py);
            c.colour(kRed);
            c.pen(1);
            if (cnt > 1) c.line(px, fit);
        }
        c.pen(1);
        Legends legends;
        legends.add(kBlue, "Points of each series");
        legends.add(kRed, "Fitted line of each series");
        legends.draw(c);
    };
    show(d);
}

}  // namespace

std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console,
                                      std::unique_ptr<Canvas> canvas) {
    if (!settings.enabled) return std::make_unique<NoPlotter>(console);
    set_plplot_lib();
    const bool display_ok = display_opens();
    DeviceChoice device = choose_device(settings.device, display_ok);
    if (!device.message.empty()) {
        console.line(device.message, 2);
    } else if (settings.device.empty() && !display_ok) {
        // No display was asked for: the null device is the normal headless choice, and only a
        // display that is named but does not open deserves a word.
        const char* display = std::getenv("DISPLAY");
        if (display && *display)
            console.line(
                "The display " + std::string(display) + " does not open; plots go to the null device.", 2);
    }
    return std::make_unique<DrawingPlotter>(console, std::move(device), settings, std::move(canvas));
}

std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console) {
    return make_plotter(settings, console, settings.enabled ? make_plplot_canvas() : nullptr);
}

}  // namespace kestrovan
