#include "plot/plotter.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <vector>

#include <plplot.h>

#include "console/format.hpp"
#include "plot/plot_device.hpp"
#include "plot/plot_ranges.hpp"

#ifndef KESTROVAN_PLPLOT_LIB
#define KESTROVAN_PLPLOT_LIB "/usr/share/plplot5.15.0"
#endif

namespace kestrovan {

void set_plplot_lib() { ::setenv("PLPLOT_LIB", KESTROVAN_PLPLOT_LIB, 1); }

namespace {

// ---------------------------------------------------------------------------------------------
// Small drawing helpers over PLplot's C API.

std::string text_of(std::string_view s) { return rtrim(s); }

void label(std::string_view x, std::string_view y, std::string_view top) {
    pllab(text_of(x).c_str(), text_of(y).c_str(), text_of(top).c_str());
}

void mtex(const char* side, double disp, double pos, double just, std::string_view text) {
    plmtex(side, disp, pos, just, text_of(text).c_str());
}

// Title at the top inside the box, and a legend just below it.
void inner_title(std::string_view title) { mtex("b", -35.5, 0.5, 0.5, title); }
void inner_legend(double pos, std::string_view text) { mtex("b", -33.75, pos, 0.0, text); }

bool legend_blank(std::string_view legend) {
    auto head = legend.substr(0, 5);
    return std::all_of(head.begin(), head.end(), [](char c) { return c == ' '; });
}

void axes(AxisRange x, AxisRange y, int axis_style) {
    x = drawable(x);
    y = drawable(y);
    plenv(x.min, x.max, y.min, y.max, 0, axis_style);
}

// A polyline of points (x, y).
class Line {
public:
    void add(double x, double y) {
        xs_.push_back(x);
        ys_.push_back(y);
    }
    void draw() const {
        if (xs_.size() > 1) plline(static_cast<PLINT>(xs_.size()), xs_.data(), ys_.data());
        else if (xs_.size() == 1) plpoin(1, xs_.data(), ys_.data(), 1);
    }
    bool empty() const { return xs_.empty(); }

private:
    std::vector<double> xs_, ys_;
};

// Draws values[i] at x0 + i as a line broken wherever a value is left out (equal to `skip`).
void draw_broken(std::span<const float> values, double x0, float skip) {
    Line run;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] == skip || !std::isfinite(values[i])) {
            run.draw();
            run = Line{};
            continue;
        }
        run.add(x0 + static_cast<double>(i), values[i]);
    }
    run.draw();
}

// Draws every one of the first n values at x0 + i, whatever its value.
void draw_all(std::span<const float> values, std::size_t n, double x0) {
    Line line;
    for (std::size_t i = 0; i < n && i < values.size(); ++i) line.add(x0 + static_cast<double>(i), values[i]);
    line.draw();
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
    void plot1(std::span<const float>, std::span<const float>, int, std::string_view, std::string_view,
               std::string_view, std::span<const float>, std::string_view, std::string_view, float, float,
               float) override {}
    void plt1(std::span<const float>, std::span<const float>, int, int, float, std::string_view, int) override {}
    void plt2(const YearMatrix&, std::span<const YearSpan>, float) override {}
    bool plt3(std::span<const float>, std::span<const float>, std::span<const float>, int, int, float, int,
              std::string_view, std::string_view, int, int) override {
        return true;
    }
    void plt4(const YearMatrix&, int, int k, int, float) override {
        if (k > 20) too_many_curves(console_, false);
    }
    void plt5(const YearMatrix&, int, int, int, float) override {}
    void plt6(std::span<const float>, std::span<const float>, std::span<const float>, int, std::string_view,
              std::string_view) override {}
    void spaghetti(const YearMatrix&, int, int, std::span<const float>, int, std::string_view, std::string_view,
                   std::string_view, std::string_view, std::string_view) override {}
    void linguine2(const YearMatrix&, const YearMatrix&, std::span<const float>, std::span<const YearSpan>,
                   YearSpan, std::string_view, std::string_view, std::string_view, std::string_view,
                   std::string_view) override {}
    void scatplt(const YearMatrix&, const YearMatrix&, std::span<const float>, std::span<const float>,
                 std::span<const int>, float, float, float) override {}

private:
    Console& console_;
};

// ---------------------------------------------------------------------------------------------
// Plots through PLplot.

enum class MenuKind { Standard, NoMorePlots, None };

struct Drawing {
    std::string save_name;  // the PostScript file of [s]ave
    std::string tag;        // names the file on a file device
    int nx = 1, ny = 1;     // subpages
    MenuKind menu = MenuKind::Standard;
    std::function<void()> draw;
};

class PlplotPlotter final : public Plotter {
public:
    PlplotPlotter(Console& console, DeviceChoice device, std::string directory)
        : console_(console), device_(std::move(device)), directory_(std::move(directory)) {}

    bool enabled() const override { return true; }

    void plot1(std::span<const float> y1, std::span<const float> y2, int first_year, std::string_view x_label,
               std::string_view y_label, std::string_view title, std::span<const float> reference,
               std::string_view legend1, std::string_view legend2, float width1, float width2,
               float width_ref) override;
    void plt1(std::span<const float> a, std::span<const float> b, int first, int last, float missing,
              std::string_view title, int offset) override;
    void plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) override;
    bool plt3(std::span<const float> by_year, std::span<const float> by_age, std::span<const float> curve,
              int first_year, int last_year, float missing, int curve_ages, std::string_view id,
              std::string_view title, int age_before, int age_offset) override;
    void plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing) override;
    void plt5(const YearMatrix& curves, int n, int k, int age_offset, float missing) override;
    void plt6(std::span<const float> frequency, std::span<const float> power2, std::span<const float> power3,
              int n, std::string_view legend2, std::string_view legend3) override;
    void spaghetti(const YearMatrix& lines, int n, int m, std::span<const float> reference, int first_year,
                   std::string_view x_label, std::string_view y_label, std::string_view title,
                   std::string_view legend1, std::string_view legend2) override;
    void linguine2(const YearMatrix& initial, const YearMatrix& final, std::span<const float> mean,
                   std::span<const YearSpan> years, YearSpan summary, std::string_view x_label,
                   std::string_view y_label, std::string_view title, std::string_view legend1,
                   std::string_view legend2) override;
    void scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                 std::span<const float> intercept, std::span<const int> counts, float correlation,
                 float pooled_intercept, float pooled_slope) override;

private:
    // The draw-and-ask cycle; false when the user asked for no more plots of this kind.
    bool show(const Drawing& d);
    void render(const std::string& device, const std::string& path, bool file_output, const Drawing& d);
    void print_menu(MenuKind kind);

    Console& console_;
    DeviceChoice device_;
    std::string directory_;
    int file_counter_ = 0;
};

void PlplotPlotter::render(const std::string& device, const std::string& path, bool file_output,
                           const Drawing& d) {
    plsdev(device.c_str());
    if (!path.empty()) plsfnam(path.c_str());
    plscol0(0, 255, 255, 255);
    plscol0(15, 0, 0, 0);
    plscolbg(255, 255, 255);
    // Files and the null device never wait for a key at the end of a page.
    if (file_output || device == "null") plspause(0);
    plssub(d.nx, d.ny);
    plinit();
    // PLplot is ended even if drawing throws, so that the next plot starts afresh.
    struct End {
        ~End() { plend(); }
    } end;
    d.draw();
}

void PlplotPlotter::print_menu(MenuKind kind) {
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

bool PlplotPlotter::show(const Drawing& d) {
    if (device_.kind == DeviceKind::File) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", ++file_counter_);
        const std::string path =
            join_path(directory_, "plot" + std::string(number) + "_" + d.tag + device_.extension);
        if (can_create(path)) render(device_.name, path, true, d);
        else console_.line("Cannot create the plot file " + path + "; the plot is skipped.", 2);
        return true;
    }
    if (d.menu == MenuKind::None) {
        render(device_.name, {}, false, d);
        return true;
    }
    std::string device = device_.name;
    std::string path;
    bool to_file = false;
    for (;;) {
        render(device, path, to_file, d);
        device = device_.name;
        path.clear();
        to_file = false;
        for (;;) {
            print_menu(d.menu);
            const auto answer = console_.try_ask();
            const char c = answer ? first_char(*answer) : 'c';  // end of input: the default
            if (c == 's' || c == 'S') {
                const std::string target = join_path(directory_, d.save_name);
                if (!can_create(target)) {
                    console_.line("Cannot create the plot file " + target, 2);
                    continue;
                }
                device = "psc";
                path = target;
                to_file = true;
                break;
            }
            if (c == 'r' || c == 'R') break;
            if (d.menu == MenuKind::NoMorePlots && (c == 'n' || c == 'N')) return false;
            return true;
        }
    }
}

void PlplotPlotter::plot1(std::span<const float> y1, std::span<const float> y2, int first_year,
                          std::string_view x_label, std::string_view y_label, std::string_view title,
                          std::span<const float> reference, std::string_view legend1, std::string_view legend2,
                          float width1, float width2, float width_ref) {
    const std::size_t n = std::min(y1.size(), y2.size());
    Drawing d;
    d.save_name = title_file_name(title);
    d.tag = file_tag(title);
    d.draw = [&] {
        const AxisRange y = plot1_y_range(y1, y2, n, reference, width_ref);
        const AxisRange x{static_cast<float>(first_year), static_cast<float>(first_year + static_cast<int>(n) - 1)};
        plcol0(15);
        axes(x, y, 0);
        if (reference_drawn(reference)) {
            plwidth(width_ref);
            if (reference[0] == 0.85f) pllsty(3);
            plcol0(15);
            draw_all(reference, n, first_year);
        }
        plfont(1);
        plwidth(1);
        label(x_label, y_label, "");
        inner_title(title);
        pllsty(1);
        plcol0(9);
        plwidth(width1);
        draw_all(y1, n, first_year);
        plwidth(1);
        if (!legend_blank(legend1)) inner_legend(0.06, legend1);
        plcol0(1);
        plwidth(width2);
        draw_all(y2, n, first_year);
        plwidth(1);
        if (!legend_blank(legend2)) inner_legend(0.55, legend2);
    };
    show(d);
}

void PlplotPlotter::plt1(std::span<const float> a, std::span<const float> b, int first, int last, float missing,
                         std::string_view title, int offset) {
    Drawing d;
    d.save_name = "fig11.ps";
    d.tag = file_tag(title);
    d.draw = [&] {
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
            take(value(a, i));
            take(value(b, i));
            // The values drawn are those at i + offset; they are taken in too, so that a shifted
            // curve is never cut off at the top or bottom of the box.
            const float* va = value(a, i + offset);
            const float* vb = value(b, i + offset);
            if (!vb || *vb == missing) continue;
            take(va);
            take(vb);
            if (va && *va != missing) line_a.add(static_cast<double>(i + offset), *va);
            line_b.add(static_cast<double>(i + offset), *vb);
        }
        plcol0(15);
        plwidth(1);
        axes({0.0f, static_cast<float>(last + offset)}, y, 2);
        label("Biological Year", "Y", title);
        plcol0(1);
        plwidth(1);
        line_a.draw();
        plcol0(9);
        plwidth(2);
        line_b.draw();
        plwidth(1);
    };
    show(d);
}

void PlplotPlotter::plt2(const YearMatrix& data, std::span<const YearSpan> years, float missing) {
    Drawing d;
    d.save_name = "fig11.ps";
    d.tag = "FirstDetrending";
    d.ny = 2;
    d.draw = [&] {
        AxisRange y{1.0e30f, -1.0e30f};
        int x0 = 0, x1 = 0;
        for (std::size_t j = 0; j < years.size(); ++j) {
            y = extent_of({series_span(data, static_cast<int>(j), years[j])}, missing, y.min, y.max);
            x0 = j == 0 ? years[j].first : std::min(x0, years[j].first);
            x1 = j == 0 ? years[j].last : std::max(x1, years[j].last);
        }
        const AxisRange x{static_cast<float>(x0), static_cast<float>(x1)};
        plcol0(15);
        plwidth(1);
        axes(x, y, 2);
        label("Calendar Year", "Y", "First Detrending");
        plcol0(1);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(series_span(data, static_cast<int>(j), years[j]), years[j].first, missing);

        const std::vector<float> mean = years.empty() ? std::vector<float>{} : yearly_means(data, years, missing, x0, x1);
        plcol0(15);
        plwidth(1);
        axes(x, y, 2);
        label("Calendar Year", "Y", "Average Indices");
        plcol0(1);
        draw_all(mean, mean.size(), x0);
    };
    show(d);
}

bool PlplotPlotter::plt3(std::span<const float> by_year, std::span<const float> by_age,
                         std::span<const float> curve, int first_year, int last_year, float missing,
                         int curve_ages, std::string_view id, std::string_view title, int age_before,
                         int age_offset) {
    Drawing d;
    d.save_name = "fig1";
    d.tag = file_tag(std::string(title) + "_" + std::string(id));
    d.ny = 2;
    d.menu = MenuKind::NoMorePlots;
    d.draw = [&] {
        const AxisRange upper = extent_of({by_age, curve}, missing, 0.0f, 0.0f);
        plcol0(15);
        plwidth(1);
        axes({0.0f, static_cast<float>(curve_ages + age_offset)}, {0.0f, upper.max}, 2);
        label("Biological Year", "Y", title);
        plcol0(1);
        draw_broken(by_age, age_before + 1, missing);
        Line rc;
        for (std::size_t j = 0; j < by_age.size(); ++j) {
            const long long age = static_cast<long long>(age_before) + static_cast<long long>(j) + 1;
            if (age < 1 || age > static_cast<long long>(curve.size())) continue;
            const float v = curve[static_cast<std::size_t>(age - 1)];
            if (v != missing && std::isfinite(v)) rc.add(static_cast<double>(age), v);
        }
        plcol0(9);
        plwidth(2);
        rc.draw();

        auto series = head(by_year, static_cast<long long>(last_year) - first_year + 1);
        const AxisRange lower = extent_of({series}, missing, 1.0e30f, -1.0e30f);
        plcol0(15);
        plwidth(1);
        axes({static_cast<float>(first_year), static_cast<float>(last_year)}, lower, 2);
        label("Calendar Year", "Y", id.substr(0, 8));
        plcol0(1);
        draw_broken(series, first_year, missing);
    };
    return show(d);
}

namespace {

// The curves of plt4 and plt5: the first n ages of columns 0 .. 2k - 1.
AxisRange curves_range(const YearMatrix& curves, int n, int k, float missing) {
    AxisRange y{1.0e30f, -1.0e30f};
    for (int c = 0; c < std::min(2 * k, curves.cols()); ++c)
        y = extent_of({head(curves.column(c), n)}, missing, y.min, y.max);
    return y;
}

std::span<const float> curve_column(const YearMatrix& curves, int c, int n) {
    if (c < 0 || c >= curves.cols()) return {};
    return head(curves.column(c), n);
}

}  // namespace

void PlplotPlotter::plt4(const YearMatrix& curves, int n, int k, int age_offset, float missing) {
    const PageLayout layout = plt4_layout(k);
    if (layout.columns == 0) {
        too_many_curves(console_, device_.kind == DeviceKind::Screen);
        return;
    }
    Drawing d;
    d.save_name = "fig1";
    d.tag = "RegionalCurveFits";
    d.nx = layout.columns;
    d.ny = layout.rows;
    d.draw = [&] {
        const AxisRange y = curves_range(curves, n, k, missing);
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
                if (i < fit.size() && fit[i] != missing && std::isfinite(fit[i])) line_fit.add(last_age, fit[i]);
            }
            plcol0(15);
            plwidth(1);
            axes({0.0f, static_cast<float>(std::max(age_offset + kept, last_age))}, y, 2);
            label("Biological Year", "Y", j == 0 ? std::string("Initial RC and Fit") : "Iteration #" + fmt_i(j, 3));
            plcol0(9);
            plwidth(1);
            line_raw.draw();
            plcol0(1);
            plwidth(2);
            line_fit.draw();
            plwidth(1);
        }
    };
    show(d);
}

void PlplotPlotter::plt5(const YearMatrix& curves, int n, int k, int /*age_offset*/, float missing) {
    Drawing d;
    d.save_name = "fig1";
    d.tag = "RegionalCurves";
    d.draw = [&] {
        const AxisRange y = curves_range(curves, n, k, missing);
        plcol0(15);
        plwidth(1);
        axes({0.0f, static_cast<float>(n + 10)}, y, 2);
        label("Biological Year", "Y", "Regional Curves");
        plcol0(9);
        mtex("rv", -38.4, 1.065, 0.0, "Initial");
        plcol0(1);
        mtex("rv", -34.4, 1.065, 0.0, "/Final");
        for (int j = 0; j < k; ++j) {
            plcol0(j == k - 1 ? 1 : j == 0 ? 9 : 15);
            Line line;
            auto fit = curve_column(curves, 2 * j + 1, n);
            for (std::size_t i = 0; i < fit.size(); ++i)
                if (fit[i] != missing && std::isfinite(fit[i])) line.add(static_cast<double>(i) + 1, fit[i]);
            line.draw();
        }
    };
    show(d);
}

void PlplotPlotter::plt6(std::span<const float> frequency, std::span<const float> power2,
                         std::span<const float> power3, int n, std::string_view legend2, std::string_view legend3) {
    Drawing d;
    d.save_name = "fig1b.ps";
    d.tag = file_tag(std::string(legend2) + "_" + std::string(legend3));
    d.draw = [&] {
        const std::size_t rows = std::min({frequency.size(), power2.size(), power3.size(),
                                           static_cast<std::size_t>(std::max(n, 0))});
        AxisRange x{1.0e30f, -1.0e30f}, y{1.0e30f, -1.0e30f};
        for (std::size_t i = 0; i < rows; ++i) {
            x.min = std::min(x.min, frequency[i]);
            x.max = std::max(x.max, frequency[i]);
        }
        // Powers of 0 or below have no logarithm: they are left out (the line breaks there).
        const std::vector<float> log2 = log10_powers(power2, rows), log3 = log10_powers(power3, rows);
        y = extent_of({log2, log3}, kMissing, y.min, y.max);
        auto draw_log = [&](const std::vector<float>& v) {
            Line run;
            for (std::size_t i = 0; i < rows; ++i) {
                if (v[i] == kMissing) {
                    run.draw();
                    run = Line{};
                } else {
                    run.add(frequency[i], v[i]);
                }
            }
            run.draw();
        };
        plwidth(1);
        plcol0(15);
        axes(x, y, 20);
        label("Frequency (cycles/yr.)", "log10 Power", "");
        plcol0(9);
        mtex("rv", -43.25, 1.065, 0.0, legend2);
        draw_log(log2);
        plcol0(1);
        mtex("rv", -19.25, 1.065, 0.0, legend3);
        draw_log(log3);
    };
    show(d);
}

void PlplotPlotter::spaghetti(const YearMatrix& lines, int n, int m, std::span<const float> reference,
                              int first_year, std::string_view x_label, std::string_view y_label,
                              std::string_view title, std::string_view legend1, std::string_view legend2) {
    Drawing d;
    d.save_name = title_file_name(title);
    d.tag = file_tag(title);
    d.draw = [&] {
        const std::size_t points = static_cast<std::size_t>(std::clamp(n, 0, lines.rows()));
        const AxisRange y = spaghetti_y_range(lines, n, m);
        plcol0(15);
        plwidth(1);
        axes({static_cast<float>(first_year), static_cast<float>(first_year + n - 1)}, y, 0);
        plfont(1);
        label(x_label, y_label, "");
        inner_title(title);
        pllsty(1);
        plcol0(15);
        if (reference_drawn(reference)) draw_all(reference, static_cast<std::size_t>(std::max(n, 0)), first_year);
        for (int j = 0; j < std::min(m, lines.cols()); ++j) {
            plcol0(j == m - 1 ? 1 : j == 0 ? 9 : 15);
            draw_all(lines.column(j), points, first_year);
        }
        plcol0(9);
        inner_legend(0.19, legend1);
        plcol0(1);
        inner_legend(0.55, legend2);
    };
    show(d);
}

void PlplotPlotter::linguine2(const YearMatrix& initial, const YearMatrix& final, std::span<const float> mean,
                              std::span<const YearSpan> years, YearSpan summary, std::string_view x_label,
                              std::string_view y_label, std::string_view title, std::string_view legend1,
                              std::string_view legend2) {
    Drawing d;
    d.tag = file_tag(title);
    d.menu = MenuKind::None;
    d.draw = [&] {
        int x0 = 0, x1 = 0;
        for (std::size_t j = 0; j < years.size(); ++j) {
            x0 = j == 0 ? years[j].first : std::min(x0, years[j].first);
            x1 = j == 0 ? years[j].last : std::max(x1, years[j].last);
        }
        plcol0(15);
        plwidth(1);
        axes({static_cast<float>(x0), static_cast<float>(x1)}, linguine_y_range(initial, final, years), 0);
        plfont(1);
        label(x_label, y_label, "");
        inner_title(title);
        pllsty(1);
        plcol0(9);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(series_span(initial, static_cast<int>(j), years[j]), years[j].first, kMissing);
        plcol0(1);
        for (std::size_t j = 0; j < years.size(); ++j)
            draw_broken(series_span(final, static_cast<int>(j), years[j]), years[j].first, kMissing);
        plwidth(2);
        plcol0(15);
        if (reference_drawn(mean))
            draw_broken(head(mean, static_cast<long long>(summary.last) - summary.first + 1), summary.first, kMissing);
        plcol0(9);
        plwidth(1);
        inner_legend(0.05, legend1);
        plcol0(1);
        inner_legend(0.72, legend2);
    };
    show(d);
}

void PlplotPlotter::scatplt(const YearMatrix& x, const YearMatrix& y, std::span<const float> slope,
                            std::span<const float> intercept, std::span<const int> counts, float correlation,
                            float pooled_intercept, float pooled_slope) {
    Drawing d;
    d.save_name = "fig1b.ps";
    d.tag = "SpreadVersusLevel";
    d.draw = [&] {
        const ScatterRanges r = scatter_ranges(x, y, counts);
        plwidth(1);
        plcol0(15);
        axes(r.x, r.y, 2);
        label("log(LEVEL)", "log(SPREAD)", scatter_title(correlation, pooled_intercept, pooled_slope));
        for (std::size_t j = 0; j < counts.size(); ++j) {
            const int c = static_cast<int>(j);
            if (c >= x.cols() || c >= y.cols()) break;
            const std::size_t cnt = static_cast<std::size_t>(std::clamp(counts[j], 0, std::min(x.rows(), y.rows())));
            std::vector<double> px(cnt), py(cnt), fit(cnt);
            for (std::size_t i = 0; i < cnt; ++i) {
                px[i] = x(static_cast<int>(i), c);
                py[i] = y(static_cast<int>(i), c);
                const double s = j < slope.size() ? slope[j] : 0.0;
                const double b = j < intercept.size() ? intercept[j] : 0.0;
                fit[i] = s * px[i] + b;
            }
            if (cnt == 0) continue;
            plcol0(9);
            plwidth(2);
            plpoin(static_cast<PLINT>(cnt), px.data(), py.data(), 1);
            plcol0(1);
            if (cnt > 1) plline(static_cast<PLINT>(cnt), px.data(), fit.data());
        }
        plwidth(1);
    };
    show(d);
}

}  // namespace

std::unique_ptr<Plotter> make_plotter(const PlotSettings& settings, Console& console) {
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
            console.line("The display " + std::string(display) +
                             " does not open; plots go to the null device.", 2);
    }
    return std::make_unique<PlplotPlotter>(console, std::move(device), settings.directory);
}

}  // namespace kestrovan
