#include "plot/plotter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

#include "model/format.hpp"
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
// Small helpers.

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

// ---------------------------------------------------------------------------------------------
// What a box shows, gathered before anything is drawn, so that the legend can be placed where
// the lines leave room and the axes can be rescaled before the box is drawn.

struct Trace {
    enum class Kind { Line, Points, Fill };
    int colour = kBlack;
    double width = 1.0;
    bool dashed = false;
    bool right = false;  // against the right-hand axis
    Kind kind = Kind::Line;
    std::vector<double> x, y;
};

struct Panel {
    AxisRange x{0.0f, 1.0f}, y{0.0f, 1.0f};
    BoxOptions box{};
    std::string x_label, y_label, title;
    bool has_right = false;
    AxisRange right{0.0f, 1.0f};
    std::string right_label;
    std::vector<Trace> traces;  // drawn in this order: the left axis' first, then the right one's
    std::vector<LegendEntry> legend;
    std::vector<double> top_at;  // the period axis of spectra: x positions and their labels
    std::vector<std::string> top_labels;
    std::string top_label;
    bool rescale_y = true;                                 // the y numbers may be divided by a power of ten
    std::vector<std::pair<TextPlace, std::string>> notes;  // texts at the box's edges

    Trace& add(int colour, double width = 1.0, bool dashed = false) {
        traces.push_back({colour, width, dashed, false, Trace::Kind::Line, {}, {}});
        return traces.back();
    }
    void entry(int colour, std::string_view text, double width = 1.0, bool dashed = false,
               bool filled = false) {
        std::string t = trimmed(text);
        if (!t.empty()) legend.push_back({colour, width, dashed, filled, std::move(t)});
    }
};

// How a line is drawn: its colour, width and whether it is dashed.
struct LineStyle {
    int colour = kBlack;
    double width = 1.0;
    bool dashed = false;
};

// Adds values[i] at x0 + i as lines broken wherever a value is left out (equal to `skip`).
void add_broken(Panel& panel, std::span<const float> values, double x0, LineStyle style,
                float skip = kMissing) {
    Trace run{style.colour, style.width, style.dashed, false, Trace::Kind::Line, {}, {}};
    auto flush = [&] {
        if (!run.x.empty()) panel.traces.push_back(run);
        run.x.clear();
        run.y.clear();
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == skip || !std::isfinite(values[i])) {
            flush();
            continue;
        }
        run.x.push_back(x0 + static_cast<double>(i));
        run.y.push_back(values[i]);
    }
    flush();
}

// A thin black line at index 1.0 across the box, under the data.
void add_unit_line(Panel& panel) {
    if (!(panel.y.min < 1.0f && panel.y.max > 1.0f)) return;
    Trace t{kBlack, 0.7, false, false, Trace::Kind::Line, {panel.x.min, panel.x.max}, {1.0, 1.0}};
    panel.traces.insert(panel.traces.begin(), t);
}

// Series per age (or per year) against the right-hand axis, from x0 on, in green.
void add_sample_size(Panel& panel, std::span<const int> counts, double x0, std::size_t from, std::size_t to) {
    to = std::min(to, counts.size());
    if (from >= to) return;
    int top = 0;
    for (std::size_t i = from; i < to; ++i) top = std::max(top, counts[i]);
    panel.has_right = true;
    panel.box.right_axis = true;
    panel.right = with_margin({0.0f, static_cast<float>(std::max(top, 1))});
    panel.right_label = kSampleAxis;
    Trace& t = panel.add(kGreen);
    t.right = true;
    for (std::size_t i = from; i < to; ++i) {
        t.x.push_back(x0 + static_cast<double>(i));
        t.y.push_back(counts[i]);
    }
    panel.entry(kGreen, kSampleLegend);
}

// The lines of a panel in box coordinates (0 .. 1), for the placing of its legend.
std::vector<BoxPath> box_paths(const Panel& p) {
    std::vector<BoxPath> paths;
    for (const Trace& t : p.traces) {
        const AxisRange ry = t.right ? p.right : p.y;
        const double sx = p.x.max > p.x.min ? p.x.max - p.x.min : 1.0;
        const double sy = ry.max > ry.min ? ry.max - ry.min : 1.0;
        BoxPath path;
        for (std::size_t i = 0; i < t.x.size() && i < t.y.size(); ++i) {
            path.x.push_back((t.x[i] - p.x.min) / sx);
            path.y.push_back((t.y[i] - ry.min) / sy);
        }
        if (t.kind == Trace::Kind::Line) {
            paths.push_back(std::move(path));
        } else {
            // Points and filled shapes: every point on its own (a bar is its outline).
            for (std::size_t i = 0; i < path.x.size(); ++i) {
                const std::size_t j = t.kind == Trace::Kind::Fill ? (i + 1) % path.x.size() : i;
                paths.push_back({{path.x[i], path.x[j]}, {path.y[i], path.y[j]}});
            }
        }
    }
    return paths;
}

void draw_trace(Canvas& c, const Trace& t) {
    c.colour(t.colour);
    c.pen(t.width);
    c.dashed(t.dashed);
    switch (t.kind) {
        case Trace::Kind::Line: c.line(t.x, t.y); break;
        case Trace::Kind::Points: c.points(t.x, t.y); break;
        case Trace::Kind::Fill: c.fill(t.x, t.y); break;
    }
    c.dashed(false);
}

// Draws a panel: its box (with the y numbers rescaled where they would need a scale factor),
// labels, lines and legend.
void render(Canvas& c, Panel p) {
    if (p.rescale_y && p.box.style != BoxStyle::LogY) {
        if (const int e = axis_exponent(p.y); e != 0) {
            const double f = std::pow(10.0, -e);
            p.y = {static_cast<float>(p.y.min * f), static_cast<float>(p.y.max * f)};
            for (Trace& t : p.traces)
                if (!t.right)
                    for (double& v : t.y) v *= f;
            p.y_label = scaled_label(p.y_label, e);
        }
    }
    p.box.top_axis = p.box.top_axis || !p.top_at.empty();
    const std::vector<BoxPath> paths = box_paths(p);
    p.box.legend = p.legend;
    p.box.paths = paths;
    c.colour(kBlack);
    c.pen(1);
    const LegendPlace place = c.box(p.x, p.y, p.box);
    c.labels(p.x_label, p.y_label, p.title);
    if (!p.top_at.empty()) c.top_axis(p.top_at, p.top_labels, p.top_label);
    for (const Trace& t : p.traces)
        if (!t.right) draw_trace(c, t);
    if (p.has_right) {
        c.colour(kBlack);
        c.pen(1);
        c.right_axis(p.right, p.right_label);
        for (const Trace& t : p.traces)
            if (t.right) draw_trace(c, t);
    }
    c.pen(1);
    c.colour(kBlack);
    for (const auto& [where, text] : p.notes) c.text(where, text);
    c.legend(p.legend, place);
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
    void plt6(const SpectrumPlot&) override {}
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
    std::string title;      // names the plot on the console, before its menu
    std::string save_name;  // the PostScript file of [s]ave (its first save in the run)
    std::string tag;        // names the file on a file device
    int nx = 1, ny = 1;     // subpages
    MenuKind menu = MenuKind::Standard;
    std::vector<Panel> panels;  // one per subpage, or several sharing one
};

// Ends the drawing on the canvas when it goes out of scope, also when drawing throws, so that the
// next plot starts afresh.
struct CanvasCloser {
    Canvas& canvas;
    ~CanvasCloser() { canvas.close(); }
};

void draw_panels(Canvas& c, const Drawing& d) {
    for (const Panel& p : d.panels) render(c, p);
}

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
    void plt6(const SpectrumPlot& p) override;
    void spaghetti(const SpaghettiPlot& p) override;
    void linguine2(const LinguinePlot& p) override;
    void scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                 std::span<const float> intercept, std::span<const int> counts, float correlation,
                 float pooled_intercept, float pooled_slope) override;
    void segment_plot(const SegmentPlot& p) override;
    void crossdating_plot(const CrossdatingPlot& p) override;

private:
    // The draw-and-ask cycle; false when the user asked for no more plots of this kind.
    bool show(const Drawing& d);
    void draw_on(const CanvasPage& page, const Drawing& d);
    void save(const Drawing& d);
    void print_menu(MenuKind kind, const std::string& title);
    bool window() const { return device_.name != "null"; }
    CanvasPage page(const std::string& device, const std::string& file, const Drawing& d) const;

    Console& console_;
    DeviceChoice device_;
    PlotSettings settings_;
    std::unique_ptr<Canvas> canvas_;
    int file_counter_ = 0;
    std::set<std::string> saved_;  // the files this run's saves wrote
};

CanvasPage DrawingPlotter::page(const std::string& device, const std::string& file, const Drawing& d) const {
    CanvasPage page{device, file, d.nx, d.ny, false};
    if (!file.empty()) {
        const PageSize size = page_size(device, settings_.size, d.nx, d.ny);
        page.width = size.width;
        page.height = size.height;
        page.line_scale = size.line_scale;
    }
    return page;
}

void DrawingPlotter::draw_on(const CanvasPage& page, const Drawing& d) {
    canvas_->open(page);
    const CanvasCloser end{*canvas_};
    draw_panels(*canvas_, d);
}

void DrawingPlotter::print_menu(MenuKind kind, const std::string& title) {
    console_.line("Plot: " + title, 2);
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
    draw_on(page("psc", target, d), d);
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
            draw_on(page(device_.name, path, d), d);
        else
            console_.line("Cannot create the plot file " + path, 2);
        return true;
    }
    const CanvasPage screen = page(device_.name, "", d);
    if (d.menu == MenuKind::None || !settings_.interactive) {
        // No menu: a plot without one stays until a key is pressed in its window, and says so;
        // with answers from a file nothing waits.
        CanvasPage wait = screen;
        wait.wait_at_end = d.menu == MenuKind::None && settings_.interactive && window();
        if (wait.wait_at_end) console_.line("Press a key in the plot window to go on.", 2);
        draw_on(wait, d);
        return true;
    }
    // The window stays open while the menu is answered; it closes when the user goes on.
    canvas_->open(screen);
    const CanvasCloser end{*canvas_};
    draw_panels(*canvas_, d);
    canvas_->show();
    for (;;) {
        print_menu(d.menu, d.title);
        const auto answer = console_.try_ask();
        const char c = answer ? first_char(*answer) : 'c';  // end of input: the default
        if (c == 's' || c == 'S') {
            save(d);
        } else if (c == 'r' || c == 'R') {
            canvas_->close();
            canvas_->open(screen);
            draw_panels(*canvas_, d);
            canvas_->show();
        } else {
            return !(d.menu == MenuKind::NoMorePlots && (c == 'n' || c == 'N'));
        }
    }
}

// True when two lines agree everywhere to within a small part of the axis (less than their own
// width apart on any page): one would hide the other completely.
bool lines_coincide(std::span<const float> a, std::span<const float> b, std::size_t n, AxisRange y) {
    const double tolerance = 0.002 * (y.max - y.min);
    bool any = false;
    for (std::size_t i = 0; i < n && i < a.size() && i < b.size(); ++i) {
        const bool ma = a[i] == kMissing || !std::isfinite(a[i]),
                   mb = b[i] == kMissing || !std::isfinite(b[i]);
        if (ma != mb) return false;
        if (ma) continue;
        if (std::fabs(static_cast<double>(a[i]) - b[i]) > tolerance) return false;
        any = true;
    }
    return any;
}

void DrawingPlotter::plot1(const LinePlot& p) {
    const bool two = !p.y2.empty();
    const std::size_t n = two ? std::min(p.y1.size(), p.y2.size()) : p.y1.size();
    const long long nn = static_cast<long long>(n);
    Drawing d;
    d.title = trimmed(p.title);
    d.save_name = title_file_name(p.title);
    d.tag = file_tag(p.title);
    Panel panel;
    panel.y = plot1_y_range(p.y1, two ? p.y2 : p.y1, n, p.reference, p.width_ref, p.threshold_reference);
    panel.x = {static_cast<float>(p.first_year), static_cast<float>(p.first_year + nn - 1)};
    panel.x_label = p.x_label;
    panel.y_label = p.y_label;
    panel.title = p.title;
    if (reference_drawn(p.reference)) {
        const bool threshold = p.threshold_reference || p.reference[0] == 0.85f;
        add_broken(panel, head(p.reference, nn), p.first_year, {kBlack, p.width_ref, threshold});
        panel.entry(kBlack, p.reference_legend, p.width_ref, threshold);
    }
    // The first line wider and under the second, so that it shows beside it where they meet.
    if (two && lines_coincide(p.y1, p.y2, n, panel.y)) {
        add_broken(panel, head(p.y2, nn), p.first_year, {kRed, p.width2 * 1.5});
        panel.entry(kRed, trimmed(p.legend1) + " = " + trimmed(p.legend2) + " (the lines coincide)",
                    p.width2 * 1.5);
    } else {
        add_broken(panel, head(p.y1, nn), p.first_year, {kBlue, p.width1 * (two ? 2.0 : 1.5)});
        if (!legend_blank(p.legend1)) panel.entry(kBlue, p.legend1, p.width1 * (two ? 2.0 : 1.5));
        if (two) {
            add_broken(panel, head(p.y2, nn), p.first_year, {kRed, p.width2});
            if (!legend_blank(p.legend2)) panel.entry(kRed, p.legend2, p.width2);
        }
    }
    if (!p.smooth.empty()) {
        add_broken(panel, head(p.smooth, nn), p.first_year, {kBlack, 2.0});
        panel.entry(kBlack, p.smooth_legend, 2.0);
    }
    // Marked years: dashed like the threshold, thin over the data so that dense lines do not
    // hide them, a little short of the frame; their entries after those of the lines.
    const double inset = 0.02 * (panel.y.max - panel.y.min);
    std::vector<const YearMark*> marked;
    for (const YearMark& mark : p.year_marks) {
        if (mark.year < panel.x.min || mark.year > panel.x.max) continue;
        Trace& t = panel.add(kBlack, p.width_ref, true);
        t.x = {static_cast<double>(mark.year), static_cast<double>(mark.year)};
        t.y = {panel.y.min + inset, panel.y.max - inset};
        marked.push_back(&mark);
    }
    if (p.unit_line) add_unit_line(panel);
    if (!p.sample_size.empty()) add_sample_size(panel, p.sample_size, p.first_year, 0, n);
    for (const YearMark* mark : marked) panel.entry(kBlack, mark->legend, p.width_ref, true);
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::plt1(std::span<const float> a, std::span<const float> b, int first, int last,
                          float missing, std::string_view title, int offset, std::span<const int> series) {
    Drawing d;
    d.title = trimmed(title);
    d.save_name = "fig11.ps";
    d.tag = file_tag(title);
    Panel panel;
    AxisRange y{9999.0f, -9999.0f};
    Trace line_a{kBlue, 1.5, false, false, Trace::Kind::Line, {}, {}};
    Trace line_b{kRed, 2.0, false, false, Trace::Kind::Line, {}, {}};
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
        if (va && *va != missing) {
            line_a.x.push_back(static_cast<double>(i + offset));
            line_a.y.push_back(*va);
        }
        line_b.x.push_back(static_cast<double>(i + offset));
        line_b.y.push_back(*vb);
    }
    panel.traces.push_back(std::move(line_a));
    panel.traces.push_back(std::move(line_b));
    panel.x = {0.0f, static_cast<float>(last + offset)};
    panel.y = with_margin(y);
    panel.box.style = BoxStyle::Grid;
    panel.x_label = kAgeLabel;
    panel.y_label = settings_.measurement_label;
    panel.title = title;
    panel.entry(kBlue, "Regional curve", 1.5);
    panel.entry(kRed, "Fit", 2.0);
    if (!series.empty()) {
        const long long from = std::max<long long>(first + offset, 1) - 1;
        add_sample_size(panel, series, 1.0, static_cast<std::size_t>(from),
                        static_cast<std::size_t>(std::max<long long>(last + offset, 0)));
    }
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) {
    Drawing d;
    d.title = "First Detrending";
    d.save_name = "fig11.ps";
    d.tag = "FirstDetrending";
    d.ny = 2;
    AxisRange y{1.0e30f, -1.0e30f};
    int x0 = 0, x1 = 0;
    for (std::size_t j = 0; j < years.size(); ++j) {
        y = extent_of({series_span(data, static_cast<int>(j), years[j])}, missing, y.min, y.max);
        x0 = j == 0 ? years[j].first : std::min(x0, years[j].first);
        x1 = j == 0 ? years[j].last : std::max(x1, years[j].last);
    }
    Panel upper;
    upper.y = with_margin(y);
    upper.x = {static_cast<float>(x0), static_cast<float>(x1)};
    upper.box.style = BoxStyle::Grid;
    upper.x_label = "Year";
    upper.y_label = "Index";
    Panel lower = upper;
    upper.title = "First Detrending";
    for (std::size_t j = 0; j < years.size(); ++j)
        add_broken(upper, series_span(data, static_cast<int>(j), years[j]), years[j].first, {kBlue, 1.0},
                   missing);
    add_unit_line(upper);
    upper.entry(kBlue, "Indices of each series");

    const std::vector<float> mean =
        years.empty() ? std::vector<float>{} : yearly_means(data, years, missing, x0, x1);
    lower.title = "Average Indices";
    add_broken(lower, mean, x0, {kBlack, 2.0});
    add_unit_line(lower);
    lower.entry(kBlack, "Mean of the series' indices", 2.0);
    d.panels.push_back(std::move(upper));
    d.panels.push_back(std::move(lower));
    show(d);
}

bool DrawingPlotter::plt3(const TreeRingPlot& p) {
    Drawing d;
    d.title = trimmed(p.title) + ", series " + trimmed(p.id) +
              (p.iteration >= 0 ? ", iteration " + std::to_string(p.iteration) : std::string());
    d.save_name = "fig1.ps";
    char iteration[24] = "";
    if (p.iteration >= 0) std::snprintf(iteration, sizeof iteration, "Iter%02d_", p.iteration);
    d.tag = iteration + file_tag(std::string(p.title) + "_" + std::string(p.id));
    d.ny = 2;
    d.menu = MenuKind::NoMorePlots;

    Panel upper;
    Trace rc{kRed, 2.0, false, false, Trace::Kind::Line, {}, {}};
    for (std::size_t j = 0; j < p.by_age.size(); ++j) {
        const long long age = static_cast<long long>(p.age_before) + static_cast<long long>(j) + 1;
        if (age < 1 || age > static_cast<long long>(p.curve.size())) continue;
        const float v = p.curve[static_cast<std::size_t>(age - 1)];
        if (v != p.missing && std::isfinite(v)) {
            rc.x.push_back(static_cast<double>(age));
            rc.y.push_back(v);
        }
    }
    const AxisRange up = extent_of({p.by_age, p.curve}, p.missing, 0.0f, 0.0f);
    upper.x = {0.0f, static_cast<float>(p.curve_ages + p.age_offset)};
    upper.y = with_margin({0.0f, up.max});
    upper.box.style = BoxStyle::Grid;
    upper.x_label = kAgeLabel;
    upper.y_label = settings_.measurement_label;
    upper.title = p.title;
    add_broken(upper, p.by_age, p.age_before + 1, {kBlue, 1.5}, p.missing);
    upper.traces.push_back(std::move(rc));
    upper.entry(kBlue, "Series by age", 1.5);
    upper.entry(kRed, "Regional curve", 2.0);

    Panel lower;
    auto series = head(p.by_year, static_cast<long long>(p.last_year) - p.first_year + 1);
    lower.x = {static_cast<float>(p.first_year), static_cast<float>(p.last_year)};
    lower.y = with_margin(extent_of({series}, p.missing, 1.0e30f, -1.0e30f));
    lower.box.style = BoxStyle::Grid;
    lower.x_label = "Year";
    lower.y_label = settings_.measurement_label;
    lower.title = std::string(p.id.substr(0, 8));
    add_broken(lower, series, p.first_year, {kBlue, 1.5}, p.missing);
    lower.entry(kBlue, "Measurements by year", 1.5);
    d.panels.push_back(std::move(upper));
    d.panels.push_back(std::move(lower));
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
    d.title = "Regional Curve and Fit of each Iteration";
    d.save_name = "fig1.ps";
    d.tag = "RegionalCurveFits";
    // The rows the panels fill (the layout's last rows may stay empty): no empty half page.
    d.nx = layout.columns;
    d.ny = std::min(layout.rows, (k + layout.columns - 1) / layout.columns);
    const AxisRange y = curves_range(curves, n, k, missing);
    const auto [from, to] = counted_ages(series);
    for (int j = 0; j < k; ++j) {
        auto raw = curve_column(curves, 2 * j, n);
        auto fit = curve_column(curves, 2 * j + 1, n);
        Panel panel;
        Trace line_raw{kBlue, 1.5, false, false, Trace::Kind::Line, {}, {}};
        Trace line_fit{kRed, 2.0, false, false, Trace::Kind::Line, {}, {}};
        int kept = 0, last_age = 0;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == missing || !std::isfinite(raw[i])) continue;
            ++kept;
            last_age = static_cast<int>(i) + 1;
            line_raw.x.push_back(last_age);
            line_raw.y.push_back(raw[i]);
            if (i < fit.size() && fit[i] != missing && std::isfinite(fit[i])) {
                line_fit.x.push_back(last_age);
                line_fit.y.push_back(fit[i]);
            }
        }
        panel.traces.push_back(std::move(line_raw));
        panel.traces.push_back(std::move(line_fit));
        panel.x = {0.0f, static_cast<float>(std::max(age_offset + kept, last_age))};
        panel.y = y;
        panel.box.style = BoxStyle::Grid;
        panel.x_label = kAgeLabel;
        panel.y_label = settings_.measurement_label;
        panel.title = j == 0 ? std::string("Initial RC and Fit") : "Iteration #" + fmt_i(j, 3);
        panel.entry(kBlue, "Regional curve", 1.5);
        panel.entry(kRed, "Fit", 2.0);
        if (from < to) add_sample_size(panel, series, 1.0, from, to);
        d.panels.push_back(std::move(panel));
    }
    show(d);
}

void DrawingPlotter::plt5(const YearMatrix& curves, int n, int k, int /*age_offset*/, float missing,
                          std::span<const int> series) {
    Drawing d;
    d.title = "Regional Curves";
    d.save_name = "fig1.ps";
    d.tag = "RegionalCurves";
    Panel panel;
    panel.y = curves_range(curves, n, k, missing);
    panel.x = {0.0f, static_cast<float>(n + 10)};
    panel.box.style = BoxStyle::Grid;
    panel.x_label = kAgeLabel;
    panel.y_label = settings_.measurement_label;
    panel.title = "Regional Curves";
    // The intermediate curves first and widest, then the first and the last on top of them.
    std::vector<int> order;
    for (int j = 1; j + 1 < k; ++j) order.push_back(j);
    if (k > 1) order.push_back(0);
    if (k > 0) order.push_back(k - 1);
    for (int j : order) {
        const bool between = j != 0 && j != k - 1;
        Trace& t = panel.add(j == k - 1 ? kRed : j == 0 ? kBlue : kGrey, between ? 3.0 : j == 0 ? 2.0 : 1.0);
        auto fit = curve_column(curves, 2 * j + 1, n);
        for (std::size_t i = 0; i < fit.size(); ++i)
            if (fit[i] != missing && std::isfinite(fit[i])) {
                t.x.push_back(static_cast<double>(i) + 1);
                t.y.push_back(fit[i]);
            }
    }
    if (k > 1) panel.entry(kBlue, "Initial fit", 2.0);
    if (k > 2) panel.entry(kGrey, "Iterations between", 3.0);
    if (k > 0) panel.entry(kRed, "Final fit", 1.0);
    const auto [from, to] = counted_ages(series);
    if (from < to) add_sample_size(panel, series, 1.0, from, to);
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::plt6(const SpectrumPlot& p) {
    Drawing d;
    d.title = trimmed(p.legend2) + " & " + trimmed(p.legend3);
    d.save_name = "fig1b.ps";
    d.tag = file_tag(std::string(p.legend2) + "_" + std::string(p.legend3));
    const std::size_t rows = std::min(
        {p.frequency.size(), p.power2.size(), p.power3.size(), static_cast<std::size_t>(std::max(p.n, 0))});
    Panel panel;
    AxisRange x{1.0e30f, -1.0e30f};
    for (std::size_t i = 0; i < rows; ++i) {
        x.min = std::min(x.min, p.frequency[i]);
        x.max = std::max(x.max, p.frequency[i]);
    }
    // Powers of 0 or below have no logarithm: they are left out (the line breaks there).
    struct Curve {
        std::span<const float> values;
        int colour;
        double width;
        bool dashed;
        std::string legend;
    };
    const std::string l2 = trimmed(p.legend2), l3 = trimmed(p.legend3);
    const std::string c2 = l2.substr(0, l2.find(' ')), c3 = l3.substr(0, l3.find(' '));
    // The red-noise backgrounds thin, their 95 % levels dashed, under the spectra.
    const Curve all[] = {{p.red2, kBlue, 1.0, false, c2 + " red-noise background (AR1)"},
                         {p.red2_95, kBlue, 1.0, true, c2 + " 95 % red-noise level"},
                         {p.red3, kRed, 1.0, false, c3 + " red-noise background (AR1)"},
                         {p.red3_95, kRed, 1.0, true, c3 + " 95 % red-noise level"},
                         {p.power2, kBlue, 2.5, false, l2},
                         {p.power3, kRed, 1.5, false, l3}};
    AxisRange y{1.0e30f, -1.0e30f};
    std::vector<std::vector<float>> logs;
    for (const Curve& curve : all) {
        logs.push_back(curve.values.size() >= rows ? log10_powers(curve.values, rows) : std::vector<float>{});
        y = extent_of({logs.back()}, kMissing, y.min, y.max);
    }
    panel.x = x;
    panel.y = with_margin(y);
    panel.box.style = BoxStyle::LogY;
    panel.x_label = "Frequency (cycles/yr)";
    panel.y_label = "Power";
    for (std::size_t c = 0; c < std::size(all); ++c) {
        if (logs[c].empty()) continue;
        Trace run{all[c].colour, all[c].width, all[c].dashed, false, Trace::Kind::Line, {}, {}};
        for (std::size_t i = 0; i <= rows; ++i) {
            if (i == rows || logs[c][i] == kMissing) {
                if (!run.x.empty()) panel.traces.push_back(run);
                run.x.clear();
                run.y.clear();
            } else {
                run.x.push_back(p.frequency[i]);
                run.y.push_back(logs[c][i]);
            }
        }
    }
    // Legend: the spectra first, then their backgrounds.
    for (std::size_t c : {4u, 5u, 0u, 1u, 2u, 3u})
        if (!logs[c].empty()) panel.entry(all[c].colour, all[c].legend, all[c].width, all[c].dashed);
    for (double period : period_ticks(x.min, x.max)) {
        panel.top_at.push_back(1.0 / period);
        char label[16];
        std::snprintf(label, sizeof label, "%g", period);
        panel.top_labels.emplace_back(label);
    }
    panel.top_label = "Period (years)";
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::spaghetti(const SpaghettiPlot& p) {
    Drawing d;
    d.title = trimmed(p.title);
    d.save_name = title_file_name(p.title);
    d.tag = file_tag(p.title);
    static const YearMatrix none;
    const YearMatrix& lines = p.lines ? *p.lines : none;
    const int m = std::min(p.m, lines.cols());
    const std::size_t points = static_cast<std::size_t>(std::clamp(p.n, 0, lines.rows()));
    const bool own = !p.line_legends.empty();
    Panel panel;
    panel.x = {static_cast<float>(p.first_year), static_cast<float>(p.first_year + p.n - 1)};
    panel.y = spaghetti_y_range(lines, p.n, p.m);
    panel.x_label = p.x_label;
    panel.y_label = p.y_label;
    panel.title = p.title;
    if (reference_drawn(p.reference))
        add_broken(panel, head(p.reference, std::max(p.n, 0)), p.first_year, {kBlack});
    auto colour_of = [&](int j) {
        if (own) return kStatistics[static_cast<std::size_t>(j) % std::size(kStatistics)];
        return j == p.m - 1 ? kRed : j == 0 ? kBlue : kGrey;
    };
    // Without legends of their own the intermediate lines go first and widest, under the first
    // and last.
    std::vector<int> order;
    for (int j = 0; j < m; ++j)
        if (own || (j != 0 && j != p.m - 1)) order.push_back(j);
    if (!own) {
        if (m > 0 && p.m > 1) order.push_back(0);
        if (m == p.m && m > 0) order.push_back(m - 1);
    }
    auto width_of = [&](int j) {
        if (own) return 1.5;
        return j == p.m - 1 ? 1.0 : j == 0 ? 2.0 : 3.0;
    };
    for (int j : order)
        add_broken(panel, head(lines.column(j), static_cast<long long>(points)), p.first_year,
                   {colour_of(j), width_of(j)});
    if (own) {
        // The note (for example the iteration) as a legend entry without a sample line.
        if (!legend_blank(p.legend1)) panel.entry(0, p.legend1, 0.0);
        for (int j = 0; j < m && j < static_cast<int>(p.line_legends.size()); ++j)
            panel.entry(colour_of(j), p.line_legends[static_cast<std::size_t>(j)], width_of(j));
    } else {
        if (p.m > 1) panel.entry(kBlue, p.legend1, width_of(0));
        if (p.m > 2) panel.entry(kGrey, "Iterations between", 3.0);
        if (p.m > 0) panel.entry(kRed, p.legend2, width_of(p.m - 1));
    }
    if (p.unit_line) add_unit_line(panel);
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::linguine2(const LinguinePlot& p) {
    const YearMatrix& initial = *p.initial;
    const YearMatrix& final = *p.final;
    Drawing d;
    d.title = trimmed(p.title);
    d.tag = file_tag(p.title);
    d.menu = MenuKind::None;
    int x0 = 0, x1 = 0;
    for (std::size_t j = 0; j < p.years.size(); ++j) {
        x0 = j == 0 ? p.years[j].first : std::min(x0, p.years[j].first);
        x1 = j == 0 ? p.years[j].last : std::max(x1, p.years[j].last);
    }
    Panel panel;
    panel.x = {static_cast<float>(x0), static_cast<float>(x1)};
    panel.y = linguine_y_range(initial, final, p.years);
    panel.x_label = p.x_label;
    panel.y_label = p.y_label;
    panel.title = p.title;
    for (std::size_t j = 0; j < p.years.size(); ++j)
        add_broken(panel, series_span(initial, static_cast<int>(j), p.years[j]), p.years[j].first,
                   {kBlue, 1.5});
    for (std::size_t j = 0; j < p.years.size(); ++j)
        add_broken(panel, series_span(final, static_cast<int>(j), p.years[j]), p.years[j].first, {kRed, 1.0});
    panel.entry(kBlue, p.legend1, 1.5);
    panel.entry(kRed, p.legend2, 1.0);
    if (reference_drawn(p.mean)) {
        add_broken(panel, head(p.mean, static_cast<long long>(p.summary.last) - p.summary.first + 1),
                   p.summary.first, {kBlack, 2.0});
        panel.entry(kBlack, "Mean", 2.0);
    }
    if (p.unit_line) add_unit_line(panel);
    d.panels.push_back(std::move(panel));
    show(d);
}

void DrawingPlotter::scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                             std::span<const float> intercept, std::span<const int> counts, float correlation,
                             float pooled_intercept, float pooled_slope) {
    Drawing d;
    d.save_name = "fig1b.ps";
    d.tag = "SpreadVersusLevel";
    const ScatterRanges r = scatter_ranges(x, y, counts);
    Panel panel;
    panel.x = r.x;
    panel.y = r.y;
    panel.box.style = BoxStyle::Grid;
    panel.x_label = "log(LEVEL), level in mm";
    panel.y_label = "log(SPREAD), spread in mm";
    panel.title = scatter_title(correlation, pooled_intercept, pooled_slope);
    panel.rescale_y = false;  // logarithms: their numbers are read as they are
    d.title = panel.title;
    for (std::size_t j = 0; j < counts.size(); ++j) {
        const int col = static_cast<int>(j);
        if (col >= x.cols() || col >= y.cols()) break;
        const std::size_t cnt =
            static_cast<std::size_t>(std::clamp(counts[j], 0, std::min(x.rows(), y.rows())));
        if (cnt == 0) continue;
        Trace pts{kBlue, 2.0, false, false, Trace::Kind::Points, {}, {}};
        Trace fit{kRed, 1.0, false, false, Trace::Kind::Line, {}, {}};
        for (std::size_t i = 0; i < cnt; ++i) {
            const double px = x(static_cast<int>(i), col), py = y(static_cast<int>(i), col);
            const double s = j < slope.size() ? slope[j] : 0.0;
            const double b = j < intercept.size() ? intercept[j] : 0.0;
            pts.x.push_back(px);
            pts.y.push_back(py);
            fit.x.push_back(px);
            fit.y.push_back(s * px + b);
        }
        panel.traces.push_back(std::move(pts));
        if (cnt > 1) panel.traces.push_back(std::move(fit));
    }
    panel.entry(kBlue, "Points of each series", 2.0);
    panel.entry(kRed, "Fitted line of each series");
    d.panels.push_back(std::move(panel));
    show(d);
}

// The order in which segment_plot draws the first m series: by their first years (the pith,
// where known, does not reorder them).
std::vector<std::size_t> spans_order(const SegmentPlot& p, std::size_t m) {
    std::vector<std::size_t> order(m);
    for (std::size_t i = 0; i < m; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return p.years[a].first < p.years[b].first; });
    return order;
}

// The years segment_plot shows: from the earliest first year (or year of the pith, where the
// rings to it are known) to the latest last year of the first m series.
struct YearRange {
    int first = 0, last = 0;
};

YearRange spans_years(const SegmentPlot& p, std::size_t m, const std::vector<std::size_t>& order) {
    const bool pith = p.pith_offsets.size() >= m;
    YearRange r{p.years[order[0]].first, p.years[order[0]].last};
    for (std::size_t i = 0; i < m; ++i) {
        const int offset = pith ? std::max(p.pith_offsets[i], 0) : 0;
        r.first = std::min(r.first, p.years[i].first - offset);
        r.last = std::max(r.last, p.years[i].last);
    }
    return r;
}

// A filled bar from year a to year b at `row`, `half` a row above and below it.
void add_bar(Panel& panel, int colour, std::pair<double, double> years, double row, double half) {
    const auto [a, b] = years;
    panel.traces.push_back({colour,
                            1.0,
                            false,
                            false,
                            Trace::Kind::Fill,
                            {a, b, b, a},
                            {row - half, row - half, row + half, row + half}});
}

// The upper panel of segment_plot: one bar per series over its years, row by row in `order`,
// with a line on to the pith where the rings to it are known.
Panel span_bars(const SegmentPlot& p, const std::vector<std::size_t>& order, YearRange years) {
    const std::size_t m = order.size();
    const bool pith = p.pith_offsets.size() >= m;
    const double pad = std::max(1.0, 0.02 * (years.last - years.first));
    Panel bars;
    bars.x = {static_cast<float>(years.first - pad), static_cast<float>(years.last + pad)};
    bars.y = {0.0f, (static_cast<float>(m) + 1.0f) * 1.18f};
    bars.box.style = BoxStyle::Grid;
    bars.box.bottom = 0.3;
    bars.box.x_numbers = false;
    bars.x_label = "";
    bars.y_label = "Series (by first year)";
    bars.title = "Series Spans";
    bars.rescale_y = false;
    const double half = std::clamp(0.35, 0.05, 0.4);
    bool any_pith = false;
    for (std::size_t k = 0; k < m; ++k) {
        const std::size_t i = order[k];
        const double row = static_cast<double>(k) + 1.0;
        const double a = p.years[i].first - 0.5, b = p.years[i].last + 0.5;
        add_bar(bars, kBlue, {a, b}, row, half);
        const int offset = pith ? p.pith_offsets[i] : 0;
        if (offset > 0) {
            any_pith = true;
            bars.traces.push_back({kBlack,
                                   1.0,
                                   false,
                                   false,
                                   Trace::Kind::Line,
                                   {static_cast<double>(p.years[i].first - offset), a},
                                   {row, row}});
        }
    }
    // The bars' legend in a corner: the rows above the last series are left empty for it, as
    // a legend below the bars would cover the strip.
    bars.entry(kBlue, "Years measured", 1.0, false, true);
    if (any_pith) bars.entry(kBlack, "Rings to the pith", 1.0);
    return bars;
}

// The lower panel of segment_plot: the number of the first m series in each year, as a step line
// under the bars' x axis.
Panel span_depth(const SegmentPlot& p, std::size_t m, YearRange years, AxisRange x) {
    Panel depth;
    depth.x = x;
    depth.box.style = BoxStyle::Grid;
    depth.box.top = 0.3;
    depth.box.same_subpage = true;
    depth.x_label = "Year";
    depth.y_label = "Series";
    const int x0 = years.first;
    std::vector<float> count(static_cast<std::size_t>(years.last - x0 + 1), 0.0f);
    for (std::size_t i = 0; i < m; ++i)
        for (int t = p.years[i].first; t <= p.years[i].last; ++t)
            count[static_cast<std::size_t>(t - x0)] += 1.0f;
    float top = 0.0f;
    for (float v : count) top = std::max(top, v);
    depth.y = {0.0f, top * 1.1f + 0.5f};
    Trace& steps = depth.add(kGreen, 1.5);
    for (std::size_t t = 0; t < count.size(); ++t) {
        const double year = x0 + static_cast<double>(t);
        steps.x.insert(steps.x.end(), {year - 0.5, year + 0.5});
        steps.y.insert(steps.y.end(), {count[t], count[t]});
    }
    depth.entry(kGreen, "Sample size", 1.5);
    return depth;
}

void DrawingPlotter::segment_plot(const SegmentPlot& p) {
    const std::size_t m = std::min(p.ids.size(), p.years.size());
    if (m == 0) return;
    Drawing d;
    d.title = "Series Spans";
    d.save_name = "SeriesSpans.ps";
    d.tag = "SeriesSpans";
    const std::vector<std::size_t> order = spans_order(p, m);
    const YearRange years = spans_years(p, m, order);
    Panel bars = span_bars(p, order, years);
    Panel depth = span_depth(p, m, years, bars.x);
    d.panels.push_back(std::move(bars));
    d.panels.push_back(std::move(depth));
    show(d);
}

// The colour of a tested segment: red for B (another position fits better), magenta for A (the
// dated position is best but weak), green for a segment that dates.
int flag_colour(char flag) { return flag == 'B' ? kRed : flag == 'A' ? kStatistics[0] : kGreen; }

void DrawingPlotter::crossdating_plot(const CrossdatingPlot& p) {
    const std::size_t m = std::min({p.ids.size(), p.years.size(), p.segments.size()});
    if (m == 0) return;
    Drawing d;
    d.title = "Crossdating Segments";
    d.save_name = "CrossdatingSegments.ps";
    d.tag = "CrossdatingSegments";
    YearRange years{p.years[0].first, p.years[0].last};
    for (std::size_t i = 0; i < m; ++i) {
        years.first = std::min(years.first, p.years[i].first);
        years.last = std::max(years.last, p.years[i].last);
    }
    const double pad = std::max(1.0, 0.02 * (years.last - years.first));
    Panel bars;
    bars.x = {static_cast<float>(years.first - pad), static_cast<float>(years.last + pad)};
    bars.y = {0.0f, static_cast<float>(m) + 1.0f};
    bars.box.style = BoxStyle::Grid;
    bars.box.y_numbers = false;
    bars.x_label = "Year";
    bars.title = "Crossdating Segments";
    bars.rescale_y = false;
    // Rows from the top in the order of the data file, the identifiers at the left (every k-th
    // row where all would not fit). Segments overlap: flagged ones are drawn last, B on top.
    const std::size_t every = std::max<std::size_t>(1, (m + 19) / 20);
    const auto bar = [&](std::size_t i, double a, double b, double half, int colour) {
        add_bar(bars, colour, {a, b}, static_cast<double>(m - i), half);
    };
    for (std::size_t i = 0; i < m; ++i) {
        bar(i, p.years[i].first - 0.5, p.years[i].last + 0.5, 0.12, kGrey);
        if (i % every == 0)
            bars.notes.push_back(
                {TextPlace{"lv", 0.5, static_cast<double>(m - i) / (static_cast<double>(m) + 1.0), 1.0},
                 p.ids[i]});
    }
    for (char flag : {' ', 'A', 'B'})
        for (std::size_t i = 0; i < m; ++i)
            for (const FlaggedSegment& s : p.segments[i])
                if (s.flag == flag || (flag == ' ' && s.flag != 'A' && s.flag != 'B'))
                    bar(i, s.first - 0.5, s.last + 0.5, 0.32, flag_colour(s.flag));
    bars.entry(kGreen, "Segment dates", 1.0, false, true);
    bars.entry(kStatistics[0], "A: weak at its dated position", 1.0, false, true);
    bars.entry(kRed, "B: another position fits better", 1.0, false, true);
    bars.entry(kGrey, "Years of the series", 1.0, false, true);
    d.panels.push_back(std::move(bars));
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
