#include "plot/plot_ranges.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace kestrovan {

namespace {

// Running minimum and maximum of the values taken in so far.
struct Extent {
    float min;
    float max;
    bool any = false;
    void take(float v) {
        if (!std::isfinite(v)) return;
        min = std::min(min, v);
        max = std::max(max, v);
        any = true;
    }
};

std::size_t rows_of(const YearMatrix& m, int count) {
    return static_cast<std::size_t>(std::clamp(count, 0, m.rows()));
}

}  // namespace

bool reference_drawn(std::span<const float> reference) {
    return !reference.empty() && reference[0] != kNoReference;
}

float plot1_padding(AxisRange data) {
    const float width = data.max - data.min;
    if (!(width > 0.0f)) return 0.0f;
    if (width >= 10.0f) return static_cast<float>(static_cast<long>(width) / 10);
    return 0.05f * width;
}

AxisRange plot1_y_range(std::span<const float> y1, std::span<const float> y2, std::size_t n,
                        std::span<const float> reference, float width_ref, bool threshold) {
    Extent e{100000.0f, -100000.0f};
    for (std::size_t i = 0; i < n && i < y1.size(); ++i)
        if (y1[i] != kMissing) e.take(y1[i]);
    for (std::size_t i = 0; i < n && i < y2.size(); ++i)
        if (y2[i] != kMissing) e.take(y2[i]);
    AxisRange r{e.min, e.max};
    if (!reference.empty() && (threshold || reference[0] == 0.85f)) r.max = 1.0f;
    const float p = plot1_padding(r);
    r.min -= p;
    r.max += p;
    if (width_ref == 0.0f) r.min = 0.0f;
    return r;
}

AxisRange with_margin(AxisRange data) {
    const float pad = 0.05f * (data.max - data.min);
    if (!(pad > 0.0f)) return data;
    return {data.min - pad, data.max + pad};
}

AxisRange spaghetti_y_range(const YearMatrix& lines, int n, int m) {
    Extent e{1.0e30f, -1.0e30f};
    const std::size_t rows = rows_of(lines, n);
    for (int j = 0; j < std::min(m, lines.cols()); ++j) {
        auto col = lines.column(j);
        for (std::size_t i = 0; i < rows; ++i)
            if (col[i] != kMissing) e.take(col[i]);
    }
    if (!e.any) return {0.0f, 0.0f};
    const float pad = (e.max - e.min) / 20.0f;
    return {e.min - pad, e.max + pad};
}

AxisRange linguine_y_range(const YearMatrix& initial, const YearMatrix& final,
                           std::span<const YearSpan> years) {
    Extent e{1.0e30f, -1.0e30f};
    for (const YearMatrix* m : {&initial, &final}) {
        for (std::size_t j = 0; j < years.size() && static_cast<int>(j) < m->cols(); ++j) {
            auto col = m->column(static_cast<int>(j));
            const std::size_t len = rows_of(*m, years[j].last - years[j].first + 1);
            for (std::size_t i = 0; i < len; ++i)
                if (col[i] != kMissing) e.take(col[i]);
        }
    }
    if (!e.any) return {0.0f, 0.0f};
    const float w = (e.max - e.min) / 10.0f;
    AxisRange r{e.min - w, e.max + w};
    if (r.min < 0.0f && e.min > 0.0f) r.min = 0.0f;
    return r;
}

ScatterRanges scatter_ranges(const YearMatrix& x, const YearMatrix& y, std::span<const int> counts) {
    Extent ex{1.0e30f, -1.0e30f}, ey{1.0e30f, -1.0e30f};
    for (std::size_t j = 0; j < counts.size(); ++j) {
        const int c = static_cast<int>(j);
        if (c < x.cols()) {
            auto col = x.column(c);
            for (std::size_t i = 0; i < rows_of(x, counts[j]); ++i) ex.take(col[i]);
        }
        if (c < y.cols()) {
            auto col = y.column(c);
            for (std::size_t i = 0; i < rows_of(y, counts[j]); ++i) ey.take(col[i]);
        }
    }
    ScatterRanges r;
    if (ex.any) r.x = {ex.min, ex.max};
    if (ey.any) r.y = {ey.min - 1.0f, ey.max + 1.5f};
    return r;
}

std::string scatter_title(float correlation, float pooled_intercept, float pooled_slope) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Y=%.4f + %.4f(x)  Rho= %.4f", static_cast<double>(pooled_intercept),
                  static_cast<double>(pooled_slope), static_cast<double>(correlation));
    std::string title(buf);
    if (title.size() > 55) title.resize(55);
    return title;
}

std::vector<float> yearly_means(const YearMatrix& data, std::span<const YearSpan> years, float missing,
                                int x0, int x1) {
    const std::size_t span = x1 >= x0 ? static_cast<std::size_t>(x1 - x0 + 1) : 0;
    std::vector<double> sum(span, 0.0);
    std::vector<int> count(span, 0);
    for (std::size_t j = 0; j < years.size() && static_cast<int>(j) < data.cols(); ++j) {
        auto col = data.column(static_cast<int>(j));
        const std::size_t len = rows_of(data, years[j].last - years[j].first + 1);
        for (std::size_t i = 0; i < len; ++i) {
            const long long k = static_cast<long long>(years[j].first) - x0 + static_cast<long long>(i);
            if (col[i] == missing || !std::isfinite(col[i]) || k < 0 || k >= static_cast<long long>(span))
                continue;
            sum[static_cast<std::size_t>(k)] += col[i];
            ++count[static_cast<std::size_t>(k)];
        }
    }
    std::vector<float> mean(span, 0.0f);
    for (std::size_t k = 0; k < span; ++k)
        if (count[k] > 0) mean[k] = static_cast<float>(sum[k] / count[k]);
    return mean;
}

std::vector<float> log10_powers(std::span<const float> power, std::size_t rows) {
    std::vector<float> out(std::min(rows, power.size()), kMissing);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (power[i] > 0.0f) out[i] = std::log10(power[i]);
    return out;
}

PageLayout plt4_layout(int k) {
    if (k <= 8) return {2, 4};
    if (k <= 10) return {2, 5};
    if (k <= 15) return {3, 5};
    if (k <= 20) return {4, 5};
    return {0, 0};
}

std::string title_file_name(std::string_view title) {
    std::string name;
    for (char c : title.substr(0, 60)) {
        if (c == ' ') continue;
        name += c == '/' ? '_' : c;
    }
    return name + ".ps";
}

std::string numbered_name(std::string_view name, int k) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    const bool has_ext =
        dot != std::string_view::npos && dot > 0 && (slash == std::string_view::npos || dot > slash);
    const std::string stem(has_ext ? name.substr(0, dot) : name);
    const std::string ext(has_ext ? name.substr(dot) : std::string_view{});
    return stem + "_" + std::to_string(k) + ext;
}

std::string file_tag(std::string_view title) {
    std::string tag;
    for (char c : title) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_') tag += c;
    }
    if (tag.size() > 60) tag.resize(60);
    return tag.empty() ? std::string("plot") : tag;
}

namespace {

// A point in box coordinates.
struct BoxPoint {
    double x = 0.0, y = 0.0;
};

// A rectangle [a, b] x [c, d] in box coordinates.
struct BoxRect {
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
};

// True when the segment from `from` to `to` meets the rectangle (clipping of the segment's
// parameter against each side).
bool segment_meets(BoxPoint from, BoxPoint to, const BoxRect& rect) {
    const double x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
    const double a = rect.a, b = rect.b, c = rect.c, d = rect.d;
    double t0 = 0.0, t1 = 1.0;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - a, b - x0, y0 - c, d - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        if (t0 > t1) return false;
    }
    return true;
}

}  // namespace

LegendPlace legend_place(std::span<const BoxPath> paths, double w, double h) {
    constexpr double gap = 0.02;
    const struct {
        LegendPlace place;
        bool right, top;
    } corners[] = {{LegendPlace::TopRight, true, true},
                   {LegendPlace::TopLeft, false, true},
                   {LegendPlace::BottomRight, true, false},
                   {LegendPlace::BottomLeft, false, false}};
    if (w + 2 * gap > 1.0 || h + 2 * gap > 1.0) return LegendPlace::Below;
    for (const auto& corner : corners) {
        // The legend with the gap around it, also the gap to the frame.
        const double a = corner.right ? 1.0 - w - 2 * gap : 0.0, b = corner.right ? 1.0 : w + 2 * gap;
        const double c = corner.top ? 1.0 - h - 2 * gap : 0.0, d = corner.top ? 1.0 : h + 2 * gap;
        const BoxRect legend{a, b, c, d};
        bool free = true;
        for (const BoxPath& path : paths) {
            const std::size_t n = std::min(path.x.size(), path.y.size());
            for (std::size_t i = 0; free && i < n; ++i) {
                const std::size_t j = i + 1 < n ? i + 1 : i;
                if (segment_meets({path.x[i], path.y[i]}, {path.x[j], path.y[j]}, legend)) free = false;
            }
            if (!free) break;
        }
        if (free) return corner.place;
    }
    return LegendPlace::Below;
}

int axis_exponent(AxisRange range) {
    const double m = std::max(std::fabs(static_cast<double>(range.min)), std::fabs(static_cast<double>(range.max)));
    if (!std::isfinite(m) || m == 0.0 || (m >= 0.1 && m < 100000.0)) return 0;
    return static_cast<int>(std::floor(std::log10(m)));
}

std::string scaled_label(std::string_view label, int exponent) {
    if (exponent == 0) return std::string(label);
    return std::string(label) + " (x10#u" + std::to_string(exponent) + "#d)";
}

std::vector<double> period_ticks(double lo, double hi) {
    static constexpr double periods[] = {200, 100, 50, 30, 20, 15, 10, 8, 6, 5, 4, 3, 2.5, 2};
    // From the shortest period on, a tick is kept only at a readable distance from the last one
    // kept (the long periods crowd near frequency 0).
    std::vector<double> out;
    double last = 1.0e30;
    for (auto it = std::rbegin(periods); it != std::rend(periods); ++it) {
        const double f = 1.0 / *it;
        if (f < lo || f > hi || last - f < 0.07 * (hi - lo)) continue;
        out.push_back(*it);
        last = f;
    }
    std::reverse(out.begin(), out.end());
    return out;
}

AxisRange drawable(AxisRange range) {
    if (!std::isfinite(range.min) || !std::isfinite(range.max) || range.min > range.max ||
        range.min <= -1.0e29f || range.max >= 1.0e29f)
        return {0.0f, 1.0f};
    if (range.min == range.max) {
        // One unit either side for years and ring widths, a tenth for small index values.
        const float half = std::fabs(range.min) >= 1.0f ? 1.0f : 0.1f;
        return {range.min - half, range.max + half};
    }
    return range;
}

}  // namespace kestrovan
