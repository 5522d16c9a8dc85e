// The year-by-year means against the routine they replaced, kept here as the reference: every
// value sorted with qcksrt, the median, the MAD and the hinges of the weights read from sorted
// copies. The faster summary (a radix sort, or for few values an insertion sort from the order
// of the last summary; the MAD and the hinges merged from their ordered halves) must give the
// same bits on random and on real data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "diag/ring_data.hpp"
#include "model/year_matrix.hpp"
#include "stats/robust.hpp"

namespace kestrovan {
namespace {

// One year's biweight as the program took it before: `values` sorted with qcksrt, four passes.
YearMean reference_biweight(std::vector<float>& values, std::vector<float>& weights) {
    const std::size_t count = values.size();
    const double n = static_cast<double>(count);
    double sum = 0.0;
    for (float x : values) sum += x;
    const double mean = sum / n;
    double ss = 0.0;
    for (float x : values) ss += (x - mean) * (x - mean);
    const double variance = ss / (n - 1.0);
    const float median = mfs(values).median;  // sorts
    std::vector<double> dev(count);
    for (std::size_t i = 0; i < count; ++i) dev[i] = std::fabs(static_cast<double>(values[i]) - median);
    std::sort(dev.begin(), dev.end());
    const std::size_t h = count / 2;
    const double mad = count % 2 == 1 ? dev[h] : (dev[h - 1] + dev[h]) / 2.0;
    weights.assign(count, 1.0f);
    YearMean r;
    if (count <= 5 || mad < 0.0001) {
        r.location = median;
        r.scale = static_cast<float>(count <= 5 ? 1.5 * mad : mad);
        r.variance_ratio = 1.0f;
        return r;
    }
    const double scale_factor = n / std::sqrt(n - 1.0);
    double t = median, s = 0.0;
    for (int pass = 0; pass < 4; ++pass) {
        double a = 0.0, b = 0.0, w = 0.0, d = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const double dx = values[i] - t;
            const double u = dx / (7.5 * mad);
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
            if (pass > 0) weights[i] = static_cast<float>(weight);
        }
        if (w > 0.0) t += d / w;
        s = b != 0.0 ? scale_factor * std::sqrt(a) / std::fabs(b) : 0.0;
    }
    r.location = static_cast<float>(t);
    r.scale = static_cast<float>(s);
    r.variance_ratio = s > 0.0 ? static_cast<float>(variance / (s * s)) : 1.0f;
    return r;
}

// The summary of every year of `m` as the program took it before.
ChronologySummary reference_summary(const YearMatrix& m, int method) {
    ChronologySummary out;
    out.resize(m.rows());
    for (int y = 0; y < m.rows(); ++y) {
        std::vector<float> values, weights;
        for (int c = 0; c < m.cols(); ++c)
            if (m(y, c) != kMissing) values.push_back(m(y, c));
        const std::size_t n = values.size();
        out.count[y] = static_cast<int>(n);
        out.weight_min[y] = out.weight_lower_quartile[y] = out.weight_median[y] =
            out.weight_upper_quartile[y] = 1.0f;
        out.location[y] = out.scale[y] = 0.0f;
        out.variance_ratio[y] = 1.0f;
        if (n == 0) continue;
        if (n == 1) {
            out.location[y] = values[0];
            out.variance_ratio[y] = 0.0f;
            continue;
        }
        if (method == kMeanArithmetic) {
            double sum = 0.0, ss = 0.0;
            for (float x : values) sum += x;
            const double mean = sum / static_cast<double>(n);
            for (float x : values) ss += (x - mean) * (x - mean);
            out.location[y] = static_cast<float>(mean);
            out.scale[y] = static_cast<float>(std::sqrt(ss / (static_cast<double>(n) - 1.0)));
            continue;
        }
        const YearMean r = reference_biweight(values, weights);
        out.location[y] = r.location;
        out.scale[y] = r.scale;
        out.variance_ratio[y] = r.variance_ratio;
        if (n >= 6) {
            // Tukey's hinges of the weights, sorted with qcksrt (e(k): the k-th smallest).
            qcksrt(weights);
            auto e = [&](std::size_t k) { return weights[k - 1]; };
            const std::size_t m = (n + 1) / 2, k = m / 2;
            out.weight_min[y] = e(1);
            out.weight_lower_quartile[y] = (e(m - k) + e(k + 1)) / 2.0f;
            out.weight_median[y] = (e(n - n / 2) + e(n / 2 + 1)) / 2.0f;
            out.weight_upper_quartile[y] = (e(n - k) + e(n - m + k + 1)) / 2.0f;
        }
    }
    return out;
}

void expect_same_bits(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t y = 0; y < a.size(); ++y)
        ASSERT_EQ(std::memcmp(&a[y], &b[y], sizeof(float)), 0)
            << what << ", year " << y << ": " << a[y] << " against " << b[y];
}

void expect_reference(const YearMatrix& m) {
    // The same series with other values: a workspace that summarised it first holds the sort
    // orders of its years, where the summary of m starts its sorts, as in the next iteration.
    YearMatrix before = m;
    for (int c = 0; c < m.cols(); ++c)
        for (int y = 0; y < m.rows(); ++y)
            if (m(y, c) != kMissing)
                before(y, c) = m(y, c) + 0.01f * static_cast<float>((y * 7 + c * 13) % 5);
    for (int method : {kMeanArithmetic, kMeanBiweight}) {
        SCOPED_TRACE("method " + std::to_string(method));
        const ChronologySummary want = reference_summary(m, method);
        for (int threads : {1, 2}) {
            ChronologySummary got;
            RobustWorkspace ws;
            robsum(before, {before.rows(), before.cols()}, method, got, ws, threads);
            robsum(m, {m.rows(), m.cols()}, method, got, ws, threads);
            ASSERT_EQ(got.count, want.count);
            expect_same_bits(got.location, want.location, "location");
            expect_same_bits(got.scale, want.scale, "scale");
            expect_same_bits(got.variance_ratio, want.variance_ratio, "variance ratio");
            expect_same_bits(got.weight_min, want.weight_min, "weight minimum");
            expect_same_bits(got.weight_lower_quartile, want.weight_lower_quartile, "lower hinge");
            expect_same_bits(got.weight_median, want.weight_median, "weight median");
            expect_same_bits(got.weight_upper_quartile, want.weight_upper_quartile, "upper hinge");
        }
    }
}

TEST(YearMeansReference, RandomYearsOfEveryKind) {
    // Counts from 1 to 700 per year (the sort switches method at 64), ties, negative values
    // (residuals), zeros of both signs, outliers, and years bunched so tightly that the MAD is
    // below the floor.
    for (unsigned kind = 0; kind < 5; ++kind) {
        SCOPED_TRACE("kind " + std::to_string(kind));
        std::mt19937 rng(977u + kind);
        const int years = 160, series = kind == 4 ? 700 : 90;
        YearMatrix m(years, series);
        std::uniform_int_distribution<int> start(-years / 3, years - 1), length(1, years), odd(0, 40);
        std::lognormal_distribution<float> width(0.0f, 0.4f);
        std::normal_distribution<float> noise(0.0f, 1.0f);
        for (int c = 0; c < series; ++c) {
            const int first = std::max(0, start(rng)), last = std::min(years, first + length(rng));
            for (int y = first; y < last; ++y) {
                const int o = odd(rng);
                float v = width(rng);
                if (kind == 0) v = std::round(v * 4.0f) / 4.0f;
                if (kind == 1) v = noise(rng);
                if (kind == 2) v = o < 30 ? 1.0f : 1.0f + 1e-5f * noise(rng);
                if (kind == 3) v = o == 0 ? 25.0f * v : o == 1 ? 0.0f : o == 2 ? -0.0f : o == 3 ? -0.5f : v;
                m(y, c) = v;
            }
        }
        expect_reference(m);
    }
}

TEST(YearMeansReference, RealIndices) {
    for (const char* name : {"ca533.rwl", "co021.rwl", "gp.rwl"}) {
        SCOPED_TRACE(name);
        expect_reference(testdata::mean_ratio_indices(std::string(KESTROVAN_DATA_DIR) + "/" + name).indices);
    }
}

}  // namespace
}  // namespace kestrovan
