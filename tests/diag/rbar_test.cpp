// Running RBAR and EPS: the fast per-pair accumulation against the direct window correlations,
// the window rules, the constant-sample RBAR, the undefined case and the RBAR file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "diag/pearsn.hpp"
#include "diag/rbar.hpp"
#include "diag/ring_data.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;

namespace {

// Series given as (first year, values) on a common calendar starting at first_year.
struct Synthetic {
    YearMatrix indices;
    std::vector<YearSpan> years;
    std::vector<int> n;
    std::vector<float> chron;
    int first_year = 0;
};

Synthetic make_set(int first_year, int nyears,
                   const std::vector<std::pair<int, std::vector<float>>>& series) {
    Synthetic s;
    s.first_year = first_year;
    s.indices.resize(nyears, static_cast<int>(series.size()));
    s.n.assign(static_cast<std::size_t>(nyears), 0);
    std::vector<double> sum(static_cast<std::size_t>(nyears), 0.0);
    for (std::size_t c = 0; c < series.size(); ++c) {
        const auto& [f, v] = series[c];
        for (std::size_t k = 0; k < v.size(); ++k) {
            const int r = f - first_year + static_cast<int>(k);
            s.indices(r, static_cast<int>(c)) = v[k];
            sum[r] += v[k];
            ++s.n[r];
        }
        s.years.push_back({f, f + static_cast<int>(v.size()) - 1, static_cast<int>(v.size())});
    }
    s.chron.assign(static_cast<std::size_t>(nyears), 0.0f);
    for (int t = 0; t < nyears; ++t)
        if (s.n[t] > 0) s.chron[t] = static_cast<float>(sum[t] / s.n[t]);
    return s;
}

// A common signal plus independent noise per series.
std::vector<float> signal_series(std::mt19937& rng, const std::vector<float>& signal, int from, int len,
                                 float noise) {
    std::normal_distribution<float> g(0.0f, noise);
    std::vector<float> v(static_cast<std::size_t>(len));
    for (int k = 0; k < len; ++k) v[k] = 1.0f + signal[from + k] + g(rng);
    return v;
}

}  // namespace

TEST(Runbar, FastWindowsEqualDirectCorrelationsOnRealData) {
    const auto set = testdata::mean_ratio_indices(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl");
    ASSERT_EQ(set.nyears, 1358);
    const RbarTables t =
        runbar({set.indices, set.years, set.first_year}, {set.chronology, set.sample_size}, {51, 50, 1});
    ASSERT_TRUE(t.defined);
    ASSERT_GT(t.windows.size(), 1000u);
    // The windows are shared out to workers in blocks: any thread count gives the same bits.
    for (int threads : {2, 3, 7}) {
        const RbarTables u = runbar({set.indices, set.years, set.first_year},
                                    {set.chronology, set.sample_size}, {51, 50, threads});
        ASSERT_EQ(u.windows.size(), t.windows.size()) << threads << " threads";
        for (std::size_t k = 0; k < t.windows.size(); ++k) {
            ASSERT_EQ(u.windows[k].count, t.windows[k].count) << threads << " threads, row " << k;
            ASSERT_EQ(u.windows[k].mean_r, t.windows[k].mean_r) << threads << " threads, row " << k;
            ASSERT_EQ(u.windows[k].sd, t.windows[k].sd) << threads << " threads, row " << k;
        }
        EXPECT_EQ(u.running_rbar, t.running_rbar);
        EXPECT_EQ(u.stabilized_constant, t.stabilized_constant);
    }
    for (const auto& row : t.windows) {
        const int start = row.middle_year - 25;
        const RrbarResult direct = rrbar({set.indices, set.years, set.first_year}, start, 51);
        ASSERT_EQ(direct.count, row.count) << "window " << start;
        ASSERT_NEAR(direct.mean, row.mean_r, 1e-5) << "window " << start;
        ASSERT_NEAR(direct.sd, row.sd, 1e-5);
        ASSERT_NEAR(direct.se, row.se, 1e-5);
    }
    // RBAR is a mean of positive correlations: never negative, never above 1; one value per year.
    ASSERT_EQ(t.running_rbar.size(), static_cast<std::size_t>(set.nyears));
    for (int y = 0; y < set.nyears; ++y) {
        EXPECT_GE(t.running_rbar[y], 0.0f);
        EXPECT_LE(t.running_rbar[y], 1.0f);
        EXPECT_GE(t.constant_rbar[y], 0.0f);
        EXPECT_TRUE(std::isfinite(t.stabilized_running[y]));
        EXPECT_TRUE(std::isfinite(t.stabilized_constant[y]));
    }
}

TEST(Runbar, EveryBuildOfThePairKernelGivesTheSameBits) {
    // The pair kernel is built for several instruction sets (the processor runs the best it has;
    // asking for one it lacks gives the best below). Staggered series (partners that start and end
    // inside the blocks of windows, a group of partners cut by the end of a tile), flat stretches,
    // a series far from the others in level, and the windows of three widths, one of them with
    // windows not one year apart.
    std::mt19937 rng(4242);
    std::normal_distribution<float> g(0.0f, 0.3f);
    std::uniform_int_distribution<int> start(0, 500), length(40, 700);
    std::vector<float> signal(700);
    for (float& v : signal) v = g(rng);
    std::vector<std::pair<int, std::vector<float>>> series;
    for (int i = 0; i < 83; ++i) {
        const int from = start(rng), len = std::min(700 - from, length(rng));
        std::vector<float> v = signal_series(rng, signal, from, len, 0.25f);
        if (i % 17 == 3)
            for (std::size_t k = 0; k < v.size(); k += 3) v[k] = 1.0f;
        if (i == 40)
            for (float& x : v) x += 500.0f;
        series.push_back({1200 + from, v});
    }
    const Synthetic s = make_set(1200, 700, series);
    const auto real = testdata::mean_ratio_indices(std::string(KESTROVAN_DATA_DIR) + "/co021.rwl");
    struct Case {
        IndexSet set;
        ChronologyView chron;
        int window, overlap;
    };
    const Case cases[] = {
        {{s.indices, s.years, 1200}, {s.chron, s.n}, 51, 50},
        {{s.indices, s.years, 1200}, {s.chron, s.n}, 30, 0},
        {{s.indices, s.years, 1200}, {s.chron, s.n}, 21, 15},
        {{real.indices, real.years, real.first_year}, {real.chronology, real.sample_size}, 51, 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE("window " + std::to_string(c.window) + ", overlap " + std::to_string(c.overlap));
        const RbarTables want = runbar(c.set, c.chron, {c.window, c.overlap, 1, RbarKernel::Portable});
        ASSERT_TRUE(want.defined);
        for (RbarKernel k : {RbarKernel::Avx2, RbarKernel::Avx512, RbarKernel::Best}) {
            for (int threads : {1, 2}) {
                const RbarTables got = runbar(c.set, c.chron, {c.window, c.overlap, threads, k});
                ASSERT_EQ(got.windows.size(), want.windows.size());
                for (std::size_t w = 0; w < want.windows.size(); ++w) {
                    ASSERT_EQ(got.windows[w].count, want.windows[w].count) << w;
                    ASSERT_EQ(std::memcmp(&got.windows[w].mean_r, &want.windows[w].mean_r, sizeof(float)), 0)
                        << w;
                    ASSERT_EQ(std::memcmp(&got.windows[w].sd, &want.windows[w].sd, sizeof(float)), 0) << w;
                }
                EXPECT_EQ(got.running_rbar, want.running_rbar);
            }
        }
        // The portable build against the direct correlations of each window.
        for (std::size_t w = 0; w < want.windows.size(); w += 7) {
            const RrbarResult direct =
                rrbar(c.set, want.windows[w].middle_year - want.window / 2, want.window);
            ASSERT_EQ(direct.count, want.windows[w].count);
            ASSERT_NEAR(direct.mean, want.windows[w].mean_r, 1e-5);
        }
    }
}

TEST(Runbar, EvenWindowRunsAsNextOddWithWindowsOneYearApart) {
    std::mt19937 rng(7);
    std::normal_distribution<float> g(0.0f, 0.3f);
    std::vector<float> signal(200);
    for (float& v : signal) v = g(rng);
    std::vector<std::pair<int, std::vector<float>>> series;
    for (int i = 0; i < 5; ++i) series.push_back({1800, signal_series(rng, signal, 0, 200, 0.2f)});
    const Synthetic s = make_set(1800, 200, series);
    const RbarTables t = runbar({s.indices, s.years, 1800}, {s.chron, s.n}, {50, 0});
    EXPECT_EQ(t.window, 51);
    EXPECT_EQ(t.overlap, 50);
    ASSERT_EQ(t.windows.size(), 150u);  // 200 − 51 + 1 windows, one year apart
    EXPECT_EQ(t.windows.front().middle_year, 1825);
    EXPECT_EQ(t.windows[1].middle_year, 1826);
    EXPECT_EQ(t.windows.back().middle_year, 1974);
    // Years before the first middle year take its value, years after the last take the last.
    EXPECT_EQ(t.running_rbar[0], t.windows.front().mean_r);
    EXPECT_EQ(t.running_rbar[199], t.windows.back().mean_r);
    EXPECT_EQ(t.running_rbar[30], t.windows[5].mean_r);
}

TEST(Rrbar, PairShortOfTheWindowByOneYearDoesNotCount) {
    std::mt19937 rng(11);
    std::normal_distribution<float> g(0.0f, 0.3f);
    std::vector<float> signal(100);
    for (float& v : signal) v = g(rng);
    // Three full series and one that ends one year before the window does.
    std::vector<std::pair<int, std::vector<float>>> series;
    for (int i = 0; i < 3; ++i) series.push_back({1900, signal_series(rng, signal, 0, 100, 0.1f)});
    series.push_back({1900, signal_series(rng, signal, 0, 59, 0.1f)});  // 1900..1958
    const Synthetic s = make_set(1900, 100, series);
    // Window 1910..1960 (51 years): the short series covers 1910..1958, one year short.
    const RrbarResult r = rrbar({s.indices, s.years, 1900}, 1910, 51);
    EXPECT_EQ(r.count, 3);  // only the pairs of the three full series
    // Window 1908..1958 fits the short one too: all six pairs count.
    EXPECT_EQ(rrbar({s.indices, s.years, 1900}, 1908, 51).count, 6);
    // A series starting one year after the window start does not count either.
    std::vector<std::pair<int, std::vector<float>>> late = series;
    late[3] = {1911, signal_series(rng, signal, 11, 89, 0.1f)};
    const Synthetic s2 = make_set(1900, 100, late);
    EXPECT_EQ(rrbar({s2.indices, s2.years, 1900}, 1910, 51).count, 3);
    EXPECT_EQ(rrbar({s2.indices, s2.years, 1900}, 1911, 51).count, 6);
}

TEST(Rrbar, NegativeCorrelationsAreLeftOutAndTwoAreNotEnough) {
    // Series 0 and 1 follow the signal, series 2 its mirror: one positive pair only.
    std::vector<float> up(60), down(60);
    for (int k = 0; k < 60; ++k) {
        up[k] = 1.0f + 0.3f * std::sin(0.7f * k);
        down[k] = 1.0f - 0.3f * std::sin(0.7f * k);
    }
    std::vector<float> up2 = up;
    up2[3] += 0.05f;
    const Synthetic s = make_set(1000, 60, {{1000, up}, {1000, up2}, {1000, down}});
    const RrbarResult r = rrbar({s.indices, s.years, 1000}, 1000, 51);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.mean, kRbarUndefined);
    EXPECT_EQ(r.sd, kRbarUndefined);
}

TEST(Runbar, ConstantSampleSizeGivesOneStretchWithTheMeanOfR1) {
    std::mt19937 rng(3);
    std::normal_distribution<float> g(0.0f, 0.3f);
    std::vector<float> signal(300);
    for (float& v : signal) v = g(rng);
    std::vector<std::pair<int, std::vector<float>>> series;
    for (int i = 0; i < 6; ++i)
        series.push_back({1600, signal_series(rng, signal, 0, 300, 0.25f + 0.05f * i)});
    const Synthetic s = make_set(1600, 300, series);
    const RbarTables t = runbar({s.indices, s.years, 1600}, {s.chron, s.n}, {51, 50});
    double mean = 0.0;
    for (float r : t.running_rbar) mean += r;
    mean /= 300.0;
    for (int y = 0; y < 300; ++y) {
        EXPECT_NEAR(t.constant_rbar[y], mean, 1e-6);
        EXPECT_EQ(t.constant_rbar[y], t.constant_rbar[0]);
    }
    // Effective number and the rescaled chronology follow the stated formulas.
    const double r1 = t.running_rbar[100];
    const double n1 = 6.0 / (5.0 * r1 + 1.0);
    EXPECT_NEAR(t.neff1[100], n1, 1e-5);
    double m = 0.0;
    for (float c : s.chron) m += c;
    m /= 300.0;
    EXPECT_NEAR(t.stabilized_running[100], m + (s.chron[100] - m) * std::sqrt(r1 * n1), 1e-5);
}

TEST(Runbar, StretchesFollowTheSampleSize) {
    std::mt19937 rng(5);
    std::normal_distribution<float> g(0.0f, 0.3f);
    std::vector<float> signal(300);
    for (float& v : signal) v = g(rng);
    std::vector<std::pair<int, std::vector<float>>> series;
    for (int i = 0; i < 4; ++i) series.push_back({1600, signal_series(rng, signal, 0, 300, 0.3f)});
    series.push_back({1700, signal_series(rng, signal, 100, 200, 0.3f)});  // n: 4 then 5
    const Synthetic s = make_set(1600, 300, series);
    const RbarTables t = runbar({s.indices, s.years, 1600}, {s.chron, s.n}, {51, 50});
    double a = 0.0, b = 0.0;
    for (int y = 0; y < 100; ++y) a += t.running_rbar[y];
    for (int y = 100; y < 300; ++y) b += t.running_rbar[y];
    EXPECT_NEAR(t.constant_rbar[0], a / 100.0, 1e-6);
    EXPECT_NEAR(t.constant_rbar[99], a / 100.0, 1e-6);
    EXPECT_NEAR(t.constant_rbar[100], b / 200.0, 1e-6);
    EXPECT_NEAR(t.constant_rbar[299], b / 200.0, 1e-6);
}

TEST(Runbar, InvalidWindowInsideTakesTheNeighbouringValueNotAShift) {
    // Three series share a signal except over 1150..1159, where the third is mirrored: windows
    // covering that stretch have too few positive correlations.
    std::vector<float> a(300), b(300), c(300);
    std::mt19937 rng(9);
    std::normal_distribution<float> g(0.0f, 0.3f), e(0.0f, 0.1f);
    for (int k = 0; k < 300; ++k) {
        const float sig = g(rng);
        a[k] = 1.0f + sig + e(rng);
        b[k] = 1.0f + sig + e(rng);
        c[k] = 1.0f + ((k >= 150 && k < 160) ? -8.0f * sig : sig) + e(rng);
    }
    const Synthetic s = make_set(1000, 300, {{1000, a}, {1000, b}, {1000, c}});
    const RbarTables t = runbar({s.indices, s.years, 1000}, {s.chron, s.n}, {51, 50});
    ASSERT_TRUE(t.defined);
    ASSERT_LT(t.windows.size(), 250u);  // some windows were invalid
    // Every valid window's RBAR stands at its own middle year.
    for (const auto& w : t.windows) EXPECT_EQ(t.running_rbar[w.middle_year - 1000], w.mean_r);
    // Years of invalid windows carry the value of the last valid window before them.
    for (int y = 1; y < 300; ++y) {
        bool valid = false;
        for (const auto& w : t.windows) valid = valid || w.middle_year == 1000 + y;
        if (!valid && y > t.windows.front().middle_year - 1000) {
            EXPECT_EQ(t.running_rbar[y], t.running_rbar[y - 1]);
        }
    }
}

TEST(Runbar, NoValidWindowLeavesRbarZeroAndChronologyUnchanged) {
    // Two series: a single pair can never give more than 2 correlations.
    std::vector<float> a(120), b(120);
    for (int k = 0; k < 120; ++k) {
        a[k] = 1.0f + 0.2f * std::sin(0.3f * k);
        b[k] = 1.0f + 0.2f * std::sin(0.3f * k + 0.1f);
    }
    const Synthetic s = make_set(1500, 120, {{1500, a}, {1500, b}});
    const RbarTables t = runbar({s.indices, s.years, 1500}, {s.chron, s.n}, {51, 50});
    EXPECT_FALSE(t.defined);
    EXPECT_TRUE(t.windows.empty());
    for (int y = 0; y < 120; ++y) {
        EXPECT_EQ(t.running_rbar[y], 0.0f);
        EXPECT_EQ(t.constant_rbar[y], 0.0f);
        EXPECT_EQ(t.neff1[y], 0.0f);
        EXPECT_EQ(t.stabilized_running[y], s.chron[y]);
        EXPECT_EQ(t.stabilized_constant[y], s.chron[y]);
    }
    // A chronology shorter than the window: no window at all.
    const RbarTables shorter = runbar({s.indices, s.years, 1500},
                                      {std::span(s.chron).first(40), std::span(s.n).first(40)}, {51, 50});
    EXPECT_FALSE(shorter.defined);
    EXPECT_EQ(shorter.running_rbar.size(), 40u);
}

TEST(Eps, FormulaAndDegenerateCases) {
    EXPECT_NEAR(eps_value(0.5f, 10.0f), 5.0f / 5.5f, 1e-6);
    EXPECT_EQ(eps_value(0.0f, 10.0f), 0.0f);
    EXPECT_EQ(eps_value(1.0f, 0.0f), 0.0f);  // 0/0 is reported as 0, never NaN
}

TEST(Pearsn, CorrelationLineAndFlatInput) {
    const std::vector<float> x{1, 2, 3, 4, 5}, y{2.1f, 3.9f, 6.2f, 7.8f, 10.0f};
    const PearsonFit f = pearsn(x, y);
    // sxy = 19.7, sxx = 10, syy = 38.9
    EXPECT_NEAR(f.r, 19.7 / std::sqrt(389.0), 1e-6);
    EXPECT_NEAR(f.slope, 1.97, 1e-6);
    EXPECT_NEAR(f.intercept, 6.0 - 1.97 * 3.0, 1e-5);
    const std::vector<float> flat(5, 2.0f);
    EXPECT_EQ(pearsn(x, flat).r, 0.0f);
    EXPECT_EQ(pearsn(flat, y).r, 0.0f);
    EXPECT_EQ(pearsn(flat, y).slope, 0.0f);
}
