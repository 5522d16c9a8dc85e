// Robust statistics: sort, median, MAD, Tukey's hinges, mean/sd, the two biweights and the
// year-by-year chronology summary.
#include "stats/robust.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "model/numeric_failure.hpp"
#include "model/workers.hpp"

namespace kestrovan {

namespace {

// A whole number right-aligned in `width` columns, as the program's integer fields print it: all
// stars when it does not fit.
std::string right_aligned(long long value, int width) {
    const std::string digits = std::to_string(value);
    const std::size_t w = static_cast<std::size_t>(width);
    if (digits.size() > w) return std::string(w, '*');
    return std::string(w - digits.size(), ' ') + digits;
}

// A caller handed a routine that needs values an empty array: stop with a clear message rather
// than read outside it.
void require_values(std::size_t n, const char* routine) {
    if (n == 0) throw NumericFailure(std::string("internal error: ") + routine + " called with no values");
}

// Median of an ascending array: the middle element, or the mean of the two middle elements.
template <typename T>
T median_of_sorted(std::span<const T> sorted) {
    const std::size_t h = sorted.size() / 2;
    if (sorted.size() % 2 == 1) return sorted[h];
    return (sorted[h - 1] + sorted[h]) / T(2);
}

// Ascending sort of a year's values through their bit patterns: a float's bits, with the sign
// bit flipped for positive values and all bits flipped for negative ones, order as the values do
// (-0 just before +0). Least significant byte first, one counting pass per byte that is not the
// same in every value. Equal values are equal bits (but for the sign of zero, which no later step
// can tell apart), so every correct sort leaves the same sequence: qcksrt's.
//
// A year of fewer than kRadixFrom values may come with `order`: the place each of its values took
// when the year was last sorted (order[0] the count then, order[1 ..] the places). The values are
// taken in that order, which the small changes from one iteration to the next leave nearly sorted,
// sorted by straight insertion, and their new places kept in `order`.
constexpr std::size_t kRadixFrom = 64;              // below this, a comparison sort is quicker
constexpr std::size_t kOrderSlot = kRadixFrom + 1;  // a year's sort order: its count and places

void sort_year(std::span<float> values, std::vector<std::uint32_t>& keys, std::vector<std::uint32_t>& spare,
               std::uint16_t* order) {
    const std::size_t n = values.size();
    if (n < kRadixFrom && order == nullptr) {
        std::sort(values.begin(), values.end());
        return;
    }
    if (n < kRadixFrom) {
        std::array<std::pair<float, std::uint16_t>, kRadixFrom> v;
        const bool known = order[0] == n;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint16_t from = known ? order[k + 1] : static_cast<std::uint16_t>(k);
            v[k] = {values[from], from};
        }
        for (std::size_t j = 1; j < n; ++j) {
            const auto x = v[j];
            std::size_t i = j;
            for (; i > 0 && v[i - 1].first > x.first; --i) v[i] = v[i - 1];
            v[i] = x;
        }
        for (std::size_t k = 0; k < n; ++k) {
            values[k] = v[k].first;
            order[k + 1] = v[k].second;
        }
        order[0] = static_cast<std::uint16_t>(n);
        return;
    }
    if (keys.size() < n) keys.resize(n);
    if (spare.size() < n) spare.resize(n);
    std::array<std::array<std::uint32_t, 256>, 4> count{};
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t u;
        std::memcpy(&u, &values[i], sizeof u);
        u ^= (u >> 31) != 0 ? 0xFFFFFFFFu : 0x80000000u;
        keys[i] = u;
        for (int b = 0; b < 4; ++b) ++count[static_cast<std::size_t>(b)][(u >> (8 * b)) & 0xFFu];
    }
    std::uint32_t* from = keys.data();
    std::uint32_t* to = spare.data();
    for (int b = 0; b < 4; ++b) {
        auto& c = count[static_cast<std::size_t>(b)];
        if (c[(from[0] >> (8 * b)) & 0xFFu] == n) continue;  // every value has this byte
        std::uint32_t at = 0;
        for (std::uint32_t& k : c) {
            const std::uint32_t here = k;
            k = at;
            at += here;
        }
        for (std::size_t i = 0; i < n; ++i) to[c[(from[i] >> (8 * b)) & 0xFFu]++] = from[i];
        std::swap(from, to);
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t u = from[i];
        u ^= (u >> 31) != 0 ? 0x80000000u : 0xFFFFFFFFu;
        std::memcpy(&values[i], &u, sizeof u);
    }
}

// Merges a sequence that falls to one low point and rises again (|x - c| over ascending x) into
// ascending order, from the low point outwards; stops after `count` values. The order statistics
// are those of any sort.
template <typename T>
void merge_valley(std::span<const T> v, std::size_t count, std::span<T> out) {
    std::size_t low = 0;
    for (std::size_t i = 1; i < v.size(); ++i)
        if (v[i] < v[low]) low = i;
    std::ptrdiff_t left = static_cast<std::ptrdiff_t>(low) - 1;
    std::size_t right = low + 1, k = 0;
    out[k++] = v[low];
    while (k < count) {
        if (left >= 0 && (right >= v.size() || v[static_cast<std::size_t>(left)] <= v[right]))
            out[k++] = v[static_cast<std::size_t>(left--)];
        else
            out[k++] = v[right++];
    }
}

// Merges a sequence that rises to one peak and falls again (the biweight weights over ascending
// values) into ascending order, from both ends inwards.
void merge_hill(std::span<const float> v, std::span<float> out) {
    std::size_t lo = 0, hi = v.size(), k = 0;
    while (lo < hi) out[k++] = v[lo] <= v[hi - 1] ? v[lo++] : v[--hi];
}

// The five-number summary with Tukey's hinges of an ascending sequence; e(k) is the k-th
// smallest value, k counted from 1, and all divisions are integer divisions.
FiveNumberSummary hinges_of_sorted(std::span<const float> sorted) {
    const std::size_t n = sorted.size();
    auto e = [&](std::size_t k) { return sorted[k - 1]; };
    const std::size_t m = (n + 1) / 2;
    const std::size_t k = m / 2;
    FiveNumberSummary s;
    s.minimum = e(1);
    s.maximum = e(n);
    s.median = (e(n - n / 2) + e(n / 2 + 1)) / 2.0f;
    s.lower_quartile = (e(m - k) + e(k + 1)) / 2.0f;
    s.upper_quartile = (e(n - k) + e(n - m + k + 1)) / 2.0f;
    s.interquartile_range = s.upper_quartile - s.lower_quartile;
    return s;
}

// Below this MAD the values are too tightly bunched for the biweight passes to mean anything.
constexpr float kMadFloor = 0.0001f;
constexpr double kMadFloorDouble = 0.0001;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Sort

void qcksrt(std::span<float> values) {
    // Ranges of this many elements or fewer (ir - l < 7) are finished by straight insertion.
    constexpr std::ptrdiff_t kInsertionLimit = 7;
    // Pivot generator: fx <- mod(fx*211 + 1663, 7875); every intermediate is an integer below
    // 2^24, so single precision holds it exactly.
    constexpr float kGenMul = 211.0f, kGenAdd = 1663.0f, kGenMod = 7875.0f;
    constexpr float kGenInv = 0.00012698413f;  // 1/7875
    // The larger part is always deferred, so pending ranges never exceed log2(n) pairs: 64 pairs
    // cover any size a std::ptrdiff_t can index.
    std::array<std::ptrdiff_t, 128> stack{};
    std::size_t depth = 0;

    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(values.size());
    if (n < 2) return;
    float* a = values.data();
    std::ptrdiff_t l = 0, ir = n - 1;  // zero-based bounds of the current range
    float fx = 0.0f;

    for (;;) {
        if (ir - l < kInsertionLimit) {
            for (std::ptrdiff_t j = l + 1; j <= ir; ++j) {
                const float v = a[j];
                std::ptrdiff_t i = j - 1;
                while (i >= l && a[i] > v) {
                    a[i + 1] = a[i];
                    --i;
                }
                a[i + 1] = v;
            }
            if (depth == 0) return;
            ir = stack[--depth];
            l = stack[--depth];
            continue;
        }

        fx = std::fmod(fx * kGenMul + kGenAdd, kGenMod);
        const float len = static_cast<float>(ir - l + 1);
        std::ptrdiff_t q = l + static_cast<std::ptrdiff_t>(len * fx * kGenInv);
        if (q > ir) q = ir;  // rounding can only reach the end on ranges far above any data size
        const float pivot = a[q];
        a[q] = a[l];

        // Partition around the hole: scan from the right for a value not greater than the
        // pivot, move it into the hole, then from the left for a value not less than the pivot.
        std::ptrdiff_t i = l, j = ir;
        for (;;) {
            while (j > i && pivot < a[j]) --j;
            if (j <= i) {
                a[i] = pivot;
                break;
            }
            a[i++] = a[j];
            while (i < j && pivot > a[i]) ++i;
            if (j <= i) {
                a[j] = pivot;
                i = j;
                break;
            }
            a[j--] = a[i];
        }

        // Defer the larger part, continue with the smaller.
        if (ir - i >= i - l) {
            stack[depth++] = i + 1;
            stack[depth++] = ir;
            ir = i - 1;
        } else {
            stack[depth++] = l;
            stack[depth++] = i - 1;
            l = i + 1;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Median, MAD, five-number summary, mean and sd

float mdian1(std::span<float> values) {
    require_values(values.size(), "mdian1");
    qcksrt(values);
    return median_of_sorted<float>(values);
}

float xmad(std::span<const float> values, float centre, std::span<float> scratch) {
    require_values(values.size(), "xmad");
    if (scratch.size() < values.size()) throw NumericFailure("internal error: xmad scratch too short");
    std::span<float> dev = scratch.first(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) dev[i] = std::fabs(values[i] - centre);
    qcksrt(dev);
    return median_of_sorted<float>(dev);
}

float xmad(std::span<const float> values, float centre) {
    std::vector<float> scratch(values.size());
    return xmad(values, centre, scratch);
}

FiveNumberSummary mfs(std::span<float> values) {
    require_values(values.size(), "mfs");
    qcksrt(values);
    return hinges_of_sorted(values);
}

MeanSd mnsd(std::span<const float> values) {
    require_values(values.size(), "mnsd");
    const float n = static_cast<float>(values.size());
    float sum = 0.0f;
    for (float x : values) sum += x;
    MeanSd r;
    r.mean = sum / n;
    if (values.size() < 2) return r;  // one value: no spread to measure
    float ss = 0.0f;
    for (float x : values) ss += (x - r.mean) * (x - r.mean);
    r.sd = std::sqrt(ss / (n - 1.0f));
    return r;
}

// ---------------------------------------------------------------------------------------------
// Iterated biweight of one vector

BiweightEstimate xbiwt(std::span<float> values, std::span<float> scratch) {
    require_values(values.size(), "xbiwt");
    constexpr int kPasses = 11;
    constexpr float kLocationC = 6.0f, kScaleC = 9.0f;

    const std::size_t count = values.size();
    const float median = mdian1(values);
    const float mad = xmad(values, median, scratch);

    BiweightEstimate r;
    if (count <= 5 || mad <= kMadFloor) {
        r.location = r.one_step_location = median;
        r.scale = r.one_step_scale = 1.5f * mad;
        return r;
    }

    const float n = static_cast<float>(count);
    const float scale_factor = n / std::sqrt(n - 1.0f);
    float t = median;
    float s = 0.0f;
    for (int pass = 0; pass < kPasses; ++pass) {
        float a = 0.0f, b = 0.0f, w = 0.0f, d = 0.0f;
        for (float x : values) {
            const float dx = x - t;
            const float u = dx / (kScaleC * mad);
            const float v = dx / (kLocationC * mad);
            if (std::fabs(u) < 1.0f) {
                const float u2 = u * u;
                const float one = 1.0f - u2;
                const float one2 = one * one;
                a += dx * dx * (one2 * one2);
                b += one * (1.0f - 5.0f * u2);
            }
            if (std::fabs(v) < 1.0f) {
                const float one = 1.0f - v * v;
                w += one * one;
                d += dx * one * one;
            }
        }
        // The MAD is at least 0.0001 here and at least half the values lie within one MAD of
        // the median, so w and b are not zero in practice; the guards keep a pathological
        // vector from turning the result into a NaN or an infinity.
        if (w > 0.0f) t += d / w;
        s = b != 0.0f ? scale_factor * std::sqrt(a) / std::fabs(b) : 0.0f;
        if (pass == 0) {
            r.one_step_location = t;
            r.one_step_scale = s;
        }
    }
    r.location = t;
    r.scale = s;
    return r;
}

BiweightEstimate xbiwt(std::span<float> values) {
    std::vector<float> scratch(values.size());
    return xbiwt(values, scratch);
}

// ---------------------------------------------------------------------------------------------
// One year's mean

void RobustWorkspace::reserve(int n) {
    const std::size_t want = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (values.size() < want) values.resize(want);
    if (work.size() < want) work.resize(want);
    if (weights.size() < want) weights.resize(want);
    if (merged.size() < want) merged.resize(want);
    if (sorted_weights.size() < want) sorted_weights.resize(want);
    if (keys.size() < want) keys.resize(want);
    if (spare.size() < want) spare.resize(want);
}

namespace {

// The mean and the sample variance (divisor n - 1) of two or more values, double-precision sums.
struct YearMoments {
    double mean = 0.0;
    double variance = 0.0;
};

YearMoments year_moments(std::span<const float> values) {
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (float x : values) sum += x;
    const double mean = sum / n;
    double ss = 0.0;
    for (float x : values) ss += (x - mean) * (x - mean);
    return {mean, ss / (n - 1.0)};
}

// The median of a year's values and their MAD.
struct YearCentre {
    float median = 0.0f;
    double mad = 0.0;
};

// Sorts the values (sort_year, from the order of the year's last summary when `order` is given)
// and takes the median (mfs's rule) and the MAD: the median of the absolute deviations, which
// over sorted values fall to the median and rise again.
YearCentre median_and_mad(std::span<float> values, RobustWorkspace& ws, std::uint16_t* order) {
    const std::size_t count = values.size();
    if (ws.work.size() < count) ws.work.resize(count);
    sort_year(values, ws.keys, ws.spare, order);
    const float median = (values[count - count / 2 - 1] + values[count / 2]) / 2.0f;
    std::span<double> dev(ws.work.data(), count);
    for (std::size_t i = 0; i < count; ++i) dev[i] = std::fabs(static_cast<double>(values[i]) - median);
    const std::size_t h = count / 2;
    if (ws.merged.size() < count) ws.merged.resize(count);
    std::span<double> ascending(ws.merged.data(), count);
    merge_valley<double>(dev, h + 1, ascending);
    const double mad = count % 2 == 1 ? ascending[h] : (ascending[h - 1] + ascending[h]) / 2.0;
    return {median, mad};
}

// Location and scale of the biweight.
struct BiweightPasses {
    double location = 0.0;
    double scale = 0.0;
};

// Four biweight passes with constant 7.5 from the median, the MAD held fixed. `weights` receives
// each value's weight of the last pass.
BiweightPasses biweight_passes(std::span<const float> values, const YearCentre& centre,
                               std::span<float> weights) {
    constexpr int kPasses = 4;
    constexpr double kC = 7.5;
    const std::size_t count = values.size();
    const double n = static_cast<double>(count);
    const double mad = centre.mad;
    const double scale_factor = n / std::sqrt(n - 1.0);
    double t = centre.median;
    double s = 0.0;
    for (int pass = 0; pass < kPasses; ++pass) {
        double a = 0.0, b = 0.0, w = 0.0, d = 0.0;
        const bool keep_weights = pass > 0;
        for (std::size_t i = 0; i < count; ++i) {
            const double dx = values[i] - t;
            const double u = dx / (kC * mad);
            double weight = 0.0;
            if (std::fabs(u) < 1.0) {
                const double u2 = u * u;
                const double one = 1.0 - u2;
                weight = one * one;
                a += dx * dx * (weight * weight);
                b += one * (1.0 - 5.0 * u2);
                w += weight;
                d += dx * weight;
            }
            if (keep_weights) weights[i] = static_cast<float>(weight);
        }
        // See xbiwt: w > 0 and b != 0 whenever the MAD is positive; the guards only keep a
        // pathological year from yielding NaN or infinity.
        if (w > 0.0) t += d / w;
        s = b != 0.0 ? scale_factor * std::sqrt(a) / std::fabs(b) : 0.0;
    }
    return {t, s};
}

// biwgt, with the sort order of the year's last summary (sort_year) when `order` is given.
YearMean year_mean(std::span<float> values, int method, std::span<float> weights, RobustWorkspace& ws,
                   std::uint16_t* order) {
    const std::size_t count = values.size();
    YearMean r;
    if (count == 0) throw NumericFailure({{"fatal error in biwgt: n is zero or negative", 2}}, true);
    if (method != kMeanArithmetic && method != kMeanBiweight)
        throw NumericFailure("internal error: biwgt called with mean method " + std::to_string(method));
    if (count == 1) {
        r.location = values[0];
        return r;  // scale and variance ratio 0
    }

    const YearMoments moments = year_moments(values);
    if (method == kMeanArithmetic) {
        r.location = static_cast<float>(moments.mean);
        r.scale = static_cast<float>(std::sqrt(moments.variance));
        r.variance_ratio = 1.0f;
        return r;
    }

    if (weights.size() < count) throw NumericFailure("internal error: biwgt weight array too short");
    const YearCentre centre = median_and_mad(values, ws, order);

    // Degenerate years: the median stands for the year, nothing is down-weighted.
    if (count <= 5 || centre.mad < kMadFloorDouble) {
        r.location = centre.median;
        r.scale = static_cast<float>(count <= 5 ? 1.5 * centre.mad : centre.mad);
        r.variance_ratio = 1.0f;
        std::fill_n(weights.begin(), count, 1.0f);
        return r;
    }

    const BiweightPasses biweight = biweight_passes(values, centre, weights);
    const double s = biweight.scale;
    r.location = static_cast<float>(biweight.location);
    r.scale = static_cast<float>(s);
    r.variance_ratio = s > 0.0 ? static_cast<float>(moments.variance / (s * s)) : 1.0f;
    return r;
}

}  // namespace

YearMean biwgt(std::span<float> values, int method, std::span<float> weights, RobustWorkspace& ws) {
    return year_mean(values, method, weights, ws, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Year-by-year chronology summary

void ChronologySummary::resize(int years) {
    const std::size_t n = years > 0 ? static_cast<std::size_t>(years) : 0;
    count.resize(n);
    location.resize(n);
    scale.resize(n);
    variance_ratio.resize(n);
    weight_min.resize(n);
    weight_lower_quartile.resize(n);
    weight_median.resize(n);
    weight_upper_quartile.resize(n);
}

namespace {

// What robsum summarises.
struct SummaryInput {
    const YearMatrix& matrix;
    int series;             // columns summarised
    int method;             // kMeanArithmetic or kMeanBiweight
    std::uint16_t* orders;  // the sort order of every year's last summary
};

// Rows first .. last-1 of robsum, with one workspace. Each row is written only here, from that
// row's cells alone, so rows may be shared out among threads without changing any value.
// `in.orders` holds the sort order of every year's last summary (kOrderSlot entries a year, see
// sort_year), shared by the threads (each writes only its years).
void summarise_rows(const SummaryInput& in, int first, int last, ChronologySummary& out,
                    RobustWorkspace& ws) {
    const YearMatrix& matrix = in.matrix;
    const int series = in.series, method = in.method;
    std::uint16_t* orders = in.orders;
    for (int y = first; y < last; ++y) {
        std::size_t n = 0;
        for (int c = 0; c < series; ++c) {
            const float v = matrix(y, c);
            if (v != kMissing) ws.values[n++] = v;
        }

        out.count[y] = static_cast<int>(n);
        out.weight_min[y] = out.weight_lower_quartile[y] = 1.0f;
        out.weight_median[y] = out.weight_upper_quartile[y] = 1.0f;
        if (n == 0) {
            // A gap in the coverage: no mean to take.
            out.location[y] = 0.0f;
            out.scale[y] = 0.0f;
            out.variance_ratio[y] = 1.0f;
            continue;
        }

        std::span<float> row(ws.values.data(), n);
        std::span<float> weights(ws.weights.data(), n);
        std::uint16_t* order = orders + static_cast<std::size_t>(y) * kOrderSlot;
        const YearMean m = year_mean(row, method, weights, ws, order);
        out.location[y] = m.location;
        out.scale[y] = m.scale;
        out.variance_ratio[y] = m.variance_ratio;

        if (method == kMeanBiweight && n >= 6) {
            // The weights of the last pass rise to the year's centre and fall again over the
            // sorted values: merged into order, they give the hinges directly.
            std::span<float> ascending(ws.sorted_weights.data(), n);
            merge_hill(weights, ascending);
            const FiveNumberSummary w = hinges_of_sorted(ascending);
            out.weight_min[y] = w.minimum;
            out.weight_lower_quartile[y] = w.lower_quartile;
            out.weight_median[y] = w.median;
            out.weight_upper_quartile[y] = w.upper_quartile;
        }
    }
}

// Below this many cells a summary is not worth starting threads for.
constexpr long long kParallelCells = 20000;

}  // namespace

void robsum(const YearMatrix& matrix, SummaryExtent extent, int method, ChronologySummary& out,
            RobustWorkspace& ws, int threads) {
    const int years = extent.years, series = extent.series;
    if (series > kMaxSeries)
        throw NumericFailure({{},
                              {"Error in Sbr ROBSUM: Max number of series exceeded", 2},
                              {"Maximum allowed:" + right_aligned(kMaxSeries, 6) +
                                   "     Number sent:" + right_aligned(series, 6),
                               2},
                              {"*** Enlarge parameter MAXNUM in Sbr ROBSUM and try again! ***", 2}},
                             false);
    if (years < 0 || series < 0 || years > matrix.rows() || series > matrix.cols())
        throw NumericFailure("internal error: robsum asked for " + std::to_string(years) + " years x " +
                             std::to_string(series) + " series of a " + std::to_string(matrix.rows()) +
                             " x " + std::to_string(matrix.cols()) + " matrix");
    if (method != kMeanArithmetic && method != kMeanBiweight)
        throw NumericFailure("internal error: robsum called with mean method " + std::to_string(method));

    out.resize(years);
    ws.reserve(series);
    if (ws.orders.size() != static_cast<std::size_t>(years) * kOrderSlot)
        ws.orders.assign(static_cast<std::size_t>(years) * kOrderSlot, 0);

    int workers = 1;
    if (static_cast<long long>(years) * series >= kParallelCells)
        workers = std::min(resolve_threads(threads), years);
    if (workers <= 1) {
        summarise_rows({matrix, series, method, ws.orders.data()}, 0, years, out, ws);
        return;
    }

    // Contiguous blocks of years, one per worker, weighted by the number of cells with a value so
    // that thinly covered early and late years do not leave a worker idle. Nothing is printed: a
    // failure travels as a NumericFailure, and run_workers delivers that of the earliest block,
    // the one a single pass would have met first.
    const std::size_t helpers = static_cast<std::size_t>(workers - 1);
    if (ws.helpers.size() < helpers) ws.helpers.resize(helpers);
    // Counted column by column, the order the matrix is stored in; an empty year still costs a
    // scan of its row.
    ws.row_cells.assign(static_cast<std::size_t>(years), 1);
    for (int c = 0; c < series; ++c) {
        const std::span<const float> column = matrix.column(c);
        for (std::size_t y = 0; y < static_cast<std::size_t>(years); ++y)
            ws.row_cells[y] += column[y] != kMissing;
    }
    split_ranges(years, workers, &ws.row_cells, ws.bounds);
    run_workers(workers, [&](int w) {
        const std::size_t ww = static_cast<std::size_t>(w);
        RobustWorkspace& mine = w == 0 ? ws : ws.helpers[ww - 1];
        mine.reserve(series);
        summarise_rows({matrix, series, method, ws.orders.data()}, ws.bounds[ww], ws.bounds[ww + 1], out,
                       mine);
    });
}

ChronologySummary robsum(const YearMatrix& matrix, int method) {
    ChronologySummary out;
    RobustWorkspace ws;
    robsum(matrix, {matrix.rows(), matrix.cols()}, method, out, ws);
    return out;
}

}  // namespace kestrovan
