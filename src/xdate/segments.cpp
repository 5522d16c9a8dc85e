#include "xdate/segments.hpp"

#include <cmath>
#include <limits>
#include <span>

#include "diag/pearsn.hpp"

namespace kestrovan {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The series' filtered values and its master, position j standing for year origin + j, from
// max_shift years before the series to max_shift years after it.
struct Window {
    int origin = 0;
    int size = 0;
};

Window load_series(const CheckContext& ctx, int series, const SeriesCheck& out, CheckWorkspace& ws) {
    const int shift = ctx.options.max_shift;
    Window w{out.first - shift, out.last - out.first + 1 + 2 * shift};
    ws.x.assign(static_cast<std::size_t>(w.size), kMissing);
    ws.m.assign(static_cast<std::size_t>(w.size), kMissing);
    for (int j = 0; j < w.size; ++j) {
        const int year = w.origin + j, row = year - ctx.first_year;
        if (year >= out.first && year <= out.last)
            ws.x[static_cast<std::size_t>(j)] = ctx.filtered(row, series);
        ws.m[static_cast<std::size_t>(j)] =
            ctx.master.value(ctx.filtered, row, series, ctx.options.min_master_depth);
    }
    return w;
}

// Pearson r over the years both have; NaN with fewer than kMinOverlapYears of them.
float whole_series_r(CheckWorkspace& ws) {
    ws.a.clear();
    ws.b.clear();
    for (std::size_t j = 0; j < ws.x.size(); ++j) {
        if (ws.x[j] == kMissing || ws.m[j] == kMissing) continue;
        ws.a.push_back(ws.x[j]);
        ws.b.push_back(ws.m[j]);
    }
    return ws.a.size() >= static_cast<std::size_t>(kMinOverlapYears) ? pearsn(ws.a, ws.b).r : kNaN;
}

bool all_present(std::span<const float> v) {
    for (float x : v)
        if (x == kMissing) return false;
    return true;
}

// The segment of `length` positions from j0, when the series and its master cover it whole.
bool check_segment(const CheckContext& ctx, const Window& w, int j0, const CheckWorkspace& ws,
                   SegmentCheck& seg) {
    const int length = ctx.options.segment_length;
    const std::span<const float> x(ws.x), m(ws.m);
    const auto part = [length](std::span<const float> v, int from) {
        return v.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
    };
    if (!all_present(part(x, j0)) || !all_present(part(m, j0))) return false;
    seg.first = w.origin + j0;
    seg.last = seg.first + length - 1;
    seg.r = seg.best_r = pearsn(part(x, j0), part(m, j0)).r;
    seg.best_lag = 0;
    // Shifts whose master years are not all covered are not compared.
    for (int k = -ctx.options.max_shift; k <= ctx.options.max_shift; ++k) {
        if (k == 0 || !all_present(part(m, j0 + k))) continue;
        const float r = pearsn(part(x, j0), part(m, j0 + k)).r;
        if (r > seg.best_r) {
            seg.best_r = r;
            seg.best_lag = k;
        }
    }
    seg.flag = seg.best_lag != 0 ? kFlagB : seg.r < ctx.critical_r ? kFlagA : kNoFlag;
    return true;
}

// Running sums for the dating-change scan: per position the count of usable years and the sums
// of x, x², and for the shifts −1, 0, +1 of y, y², xy (y the master shifted), all centred.
constexpr int kSums = 12;

struct Sums {
    double s[kSums] = {};
};

Sums window_sums(const std::vector<double>& prefix, int from, int length) {
    Sums out;
    const std::size_t a = static_cast<std::size_t>(from) * kSums,
                      b = static_cast<std::size_t>(from + length) * kSums;
    for (int q = 0; q < kSums; ++q)
        out.s[q] = prefix[b + static_cast<std::size_t>(q)] - prefix[a + static_cast<std::size_t>(q)];
    return out;
}

// r at shift index s (0: −1, 1: 0, 2: +1) from a window's sums.
double sums_r(const Sums& w, int s) {
    const double n = w.s[0], sx = w.s[1], sxx = w.s[2];
    const double sy = w.s[3 + 3 * s], syy = w.s[4 + 3 * s], sxy = w.s[5 + 3 * s];
    const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
    return vx > 0.0 && vy > 0.0 ? (sxy - sx * sy / n) / std::sqrt(vx * vy) : 0.0;
}

void build_prefix(CheckWorkspace& ws) {
    const int size = static_cast<int>(ws.x.size());
    const auto at = [&](const std::vector<float>& v, int j) { return v[static_cast<std::size_t>(j)]; };
    const auto usable = [&](int j) {
        return j > 0 && j + 1 < size && at(ws.x, j) != kMissing && at(ws.m, j - 1) != kMissing &&
               at(ws.m, j) != kMissing && at(ws.m, j + 1) != kMissing;
    };
    double mx = 0.0, mm = 0.0;
    int n = 0;
    for (int j = 0; j < size; ++j)
        if (usable(j)) {
            mx += at(ws.x, j);
            mm += at(ws.m, j);
            ++n;
        }
    if (n > 0) {
        mx /= n;
        mm /= n;
    }
    ws.prefix.assign(static_cast<std::size_t>(size + 1) * kSums, 0.0);
    for (int j = 0; j < size; ++j) {
        double* next = ws.prefix.data() + static_cast<std::size_t>(j + 1) * kSums;
        const double* prev = next - kSums;
        for (int q = 0; q < kSums; ++q) next[q] = prev[q];
        if (!usable(j)) continue;
        const double x = at(ws.x, j) - mx;
        next[0] += 1.0;
        next[1] += x;
        next[2] += x * x;
        for (int s = 0; s < 3; ++s) {
            const double y = at(ws.m, j + s - 1) - mm;
            next[3 + 3 * s] += y;
            next[4 + 3 * s] += y * y;
            next[5 + 3 * s] += x * y;
        }
    }
}

// The split that fits best as a change of dating (see SeriesCheck::dating_change): one segment's
// length of years before it at the dated position, as many after it shifted by ±1.
void find_dating_change(const CheckContext& ctx, const Window& w, CheckWorkspace& ws, SeriesCheck& out) {
    build_prefix(ws);
    const int length = ctx.options.segment_length;
    double best_fit = 0.0;
    for (int split = length - 1; split + length < w.size; ++split) {
        const Sums before = window_sums(ws.prefix, split - length + 1, length);
        const Sums after = window_sums(ws.prefix, split + 1, length);
        if (before.s[0] < length || after.s[0] < length) continue;
        const double dated_before = sums_r(before, 1), dated_after = sums_r(after, 1);
        if (dated_before < ctx.critical_r) continue;
        for (int s : {0, 2}) {
            const double shifted_after = sums_r(after, s);
            if (shifted_after < ctx.critical_r || shifted_after <= dated_after ||
                sums_r(before, s) >= dated_before || dated_before + shifted_after <= best_fit)
                continue;
            best_fit = dated_before + shifted_after;
            out.dating_change = w.origin + split;
            out.change_shift = s - 1;
        }
    }
}

}  // namespace

void check_series(const CheckContext& ctx, int series, SeriesCheck& out, CheckWorkspace& ws) {
    const Window w = load_series(ctx, series, out, ws);
    out.r = whole_series_r(ws);
    out.segments.clear();
    out.dating_change.reset();
    out.change_shift = 0;
    const int lag = ctx.options.lag, length = ctx.options.segment_length;
    bool flagged = false;
    for (int start = -floor_div(-out.first, lag) * lag; start + length - 1 <= out.last; start += lag) {
        SegmentCheck seg;
        if (!check_segment(ctx, w, start - w.origin, ws, seg)) continue;
        flagged = flagged || seg.flag != kNoFlag;
        out.segments.push_back(seg);
    }
    if (flagged) find_dating_change(ctx, w, ws, out);
}

}  // namespace kestrovan
