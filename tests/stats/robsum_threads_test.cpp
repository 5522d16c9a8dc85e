// The year-by-year summary shared among threads gives the one-thread result to the last bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "model/year_matrix.hpp"
#include "stats/robust.hpp"

namespace kestrovan {
namespace {

// Series with irregular spans (thin coverage at both ends, gaps of whole years), skewed values
// with outliers, ties and a few negative values that are not the missing marker.
YearMatrix ragged_matrix(int years, int series, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> start(-years / 3, years - 1), length(1, years);
    std::lognormal_distribution<float> value(0.0f, 0.4f);
    std::uniform_int_distribution<int> odd(0, 40);
    YearMatrix m(years, series);
    for (int c = 0; c < series; ++c) {
        const int first = std::max(0, start(rng));
        const int last = std::min(years, first + length(rng));
        for (int y = first; y < last; ++y) {
            if (y % 97 == 13) continue;  // a year no series covers
            const int kind = odd(rng);
            m(y, c) = kind == 0 ? 25.0f * value(rng) : kind == 1 ? -0.5f : kind == 2 ? 1.0f : value(rng);
        }
    }
    return m;
}

template <class T>
void expect_same(const std::vector<T>& a, const std::vector<T>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    if (!a.empty()) {
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(T)), 0) << what;
    }
}

void expect_same(const ChronologySummary& a, const ChronologySummary& b) {
    expect_same(a.count, b.count, "count");
    expect_same(a.location, b.location, "location");
    expect_same(a.scale, b.scale, "scale");
    expect_same(a.variance_ratio, b.variance_ratio, "variance ratio");
    expect_same(a.weight_min, b.weight_min, "weight min");
    expect_same(a.weight_lower_quartile, b.weight_lower_quartile, "weight lower quartile");
    expect_same(a.weight_median, b.weight_median, "weight median");
    expect_same(a.weight_upper_quartile, b.weight_upper_quartile, "weight upper quartile");
}

TEST(RobsumThreads, EveryThreadCountGivesTheOneThreadResult) {
    struct Shape {
        int years, series;
    };
    // Large enough to be shared out; the last has fewer years than threads.
    for (const Shape shape : {Shape{400, 300}, Shape{1200, 60}, Shape{5, 4500}}) {
        const YearMatrix m =
            ragged_matrix(shape.years, shape.series, 17u + static_cast<unsigned>(shape.years));
        for (int method : {kMeanArithmetic, kMeanBiweight}) {
            SCOPED_TRACE(std::to_string(shape.years) + " years, method " + std::to_string(method));
            ChronologySummary one;
            RobustWorkspace ws_one;
            robsum(m, {shape.years, shape.series}, method, one, ws_one, 1);
            // One workspace and one summary reused across thread counts, as the engine reuses them.
            ChronologySummary many;
            RobustWorkspace ws_many;
            for (int threads : {2, 3, 4, 8, 1, 5}) {
                SCOPED_TRACE("threads " + std::to_string(threads));
                robsum(m, {shape.years, shape.series}, method, many, ws_many, threads);
                expect_same(one, many);
            }
            // A part of the matrix only (fewer years and series than it holds).
            robsum(m, {shape.years - 2, shape.series - 1}, method, one, ws_one, 1);
            robsum(m, {shape.years - 2, shape.series - 1}, method, many, ws_many, 4);
            expect_same(one, many);
        }
    }
}

}  // namespace
}  // namespace kestrovan
