// The statistics a methods section cites: signal strength with trees and cores against a direct
// computation, the year from which EPS stays at 0.85, autoregressive models of known processes,
// the per-series figures and the leave-one-out correlations.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>

#include "console/console.hpp"
#include "diag/chronology_stats.hpp"
#include "diag/rbar.hpp"
#include "diag/residual_chronology.hpp"
#include "diag/series_stats.hpp"

using namespace kestrovan;

namespace {

// Series of a common signal plus noise, each with its own span, two or three cores per tree.
struct Forest {
    YearMatrix indices;
    std::vector<int> tree;
    std::vector<std::pair<int, int>> spans;  // rows [from, to)
};

Forest make_forest(std::uint32_t seed, int years, int trees) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> z(0.0, 1.0);
    std::uniform_int_distribution<int> start(0, years / 2), cores(1, 3);
    std::vector<double> signal(static_cast<std::size_t>(years));
    for (double& s : signal) s = 0.3 * z(rng);
    Forest f;
    std::vector<std::vector<double>> tree_noise;
    for (int t = 0; t < trees; ++t) {
        std::vector<double> own(static_cast<std::size_t>(years));
        for (double& v : own) v = 0.2 * z(rng);  // what the cores of one tree share beyond the site
        const int c = cores(rng);
        for (int k = 0; k < c; ++k) {
            const int from = start(rng), to = std::min(years, from + 40 + start(rng));
            f.spans.emplace_back(from, to);
            f.tree.push_back(t);
        }
        tree_noise.push_back(own);
    }
    f.indices.resize(years, static_cast<int>(f.spans.size()));
    for (int i = 0; i < f.indices.cols(); ++i)
        for (int r = f.spans[static_cast<std::size_t>(i)].first;
             r < f.spans[static_cast<std::size_t>(i)].second; ++r)
            f.indices(r, i) =
                static_cast<float>(1.0 + signal[static_cast<std::size_t>(r)] +
                                   tree_noise[static_cast<std::size_t>(f.tree[static_cast<std::size_t>(i)])]
                                             [static_cast<std::size_t>(r)] +
                                   0.3 * z(rng));
    return f;
}

// Pearson r of two series over the rows both cover, computed directly in two passes.
std::optional<double> direct_r(const YearMatrix& m, int i, int j, int lo, int hi, int min_overlap) {
    std::vector<double> x, y;
    for (int r = lo; r < hi; ++r)
        if (m(r, i) != kMissing && m(r, j) != kMissing) {
            x.push_back(m(r, i));
            y.push_back(m(r, j));
        }
    if (static_cast<int>(x.size()) < min_overlap) return std::nullopt;
    double mx = 0, my = 0;
    for (std::size_t k = 0; k < x.size(); ++k) mx += x[k], my += y[k];
    mx /= x.size();
    my /= y.size();
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
        sxy += (x[k] - mx) * (y[k] - my);
        sxx += (x[k] - mx) * (x[k] - mx);
        syy += (y[k] - my) * (y[k] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

}  // namespace

TEST(ChronologyStatistics, AgreeWithADirectComputationOverAllYearsAndAPeriod) {
    const Forest f = make_forest(7, 300, 12);
    for (const bool period : {false, true}) {
        const int lo = period ? 100 : 0, hi = period ? 221 : 300;
        const int min_overlap = 30;
        double tot = 0, wt = 0, bt = 0;
        int n = 0, n_wt = 0, n_bt = 0;
        for (int i = 0; i < f.indices.cols(); ++i)
            for (int j = i + 1; j < f.indices.cols(); ++j)
                if (const auto r = direct_r(f.indices, i, j, lo, hi, min_overlap)) {
                    tot += *r, ++n;
                    if (f.tree[static_cast<std::size_t>(i)] == f.tree[static_cast<std::size_t>(j)])
                        wt += *r, ++n_wt;
                    else
                        bt += *r, ++n_bt;
                }
        ASSERT_GT(n_wt, 0);
        StatisticsPeriod p;
        if (period) p = {1900 + lo, 1900 + hi - 1};
        const ChronologyStatistics s = chronology_statistics(f.indices, 1900, f.tree, min_overlap, p, 3);
        EXPECT_EQ(s.n_pairs, n);
        EXPECT_EQ(s.n_pairs_wt, n_wt);
        EXPECT_NEAR(*s.rbar_tot, tot / n, 1e-7);
        EXPECT_NEAR(*s.rbar_wt, wt / n_wt, 1e-7);
        EXPECT_NEAR(*s.rbar_bt, bt / n_bt, 1e-7);
        // Cores share more within a tree than between trees.
        EXPECT_GT(*s.rbar_wt, *s.rbar_bt);
        const double re = *s.rbar_bt / (*s.rbar_wt + (1 - *s.rbar_wt) / *s.c_eff);
        EXPECT_NEAR(*s.rbar_eff, re, 1e-12);
        EXPECT_NEAR(*s.eps, s.n_trees * re / (s.n_trees * re + 1 - re), 1e-12);
        EXPECT_NEAR(*s.snr, s.n_trees * re / (1 - re), 1e-9);
        // The thread count changes nothing, to the bit.
        const ChronologyStatistics one = chronology_statistics(f.indices, 1900, f.tree, min_overlap, p, 1);
        EXPECT_EQ(*one.rbar_tot, *s.rbar_tot);
        EXPECT_EQ(*one.rbar_eff, *s.rbar_eff);
    }
}

TEST(ChronologyStatistics, TreeAwareRunningEpsAgreesWithADirectComputation) {
    const Forest f = make_forest(9, 260, 10);
    std::vector<YearSpan> years;
    std::vector<int> n(260, 0);
    std::vector<float> chron(260, 0.0f);
    for (std::size_t i = 0; i < f.spans.size(); ++i) {
        years.push_back(
            {1900 + f.spans[i].first, 1900 + f.spans[i].second - 1, f.spans[i].second - f.spans[i].first});
        for (int r = f.spans[i].first; r < f.spans[i].second; ++r) {
            chron[static_cast<std::size_t>(r)] += f.indices(r, static_cast<int>(i));
            ++n[static_cast<std::size_t>(r)];
        }
    }
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    const RbarTables rbar = runbar({f.indices, years, 1900}, {chron, n}, {31, 30, 2});
    const std::vector<TreeWindow> windows = tree_running_eps(f.indices, 1900, f.tree, rbar);
    ASSERT_EQ(windows.size(), rbar.windows.size());
    ASSERT_GT(windows.size(), 100u);
    for (const TreeWindow& w : windows) {
        EXPECT_EQ(w.last_year - w.first_year, 30);
        EXPECT_EQ(w.middle_year, w.first_year + 15);
        const int lo = w.first_year - 1900, hi = lo + 31;
        const auto covers = [&](int i) {
            return f.spans[static_cast<std::size_t>(i)].first <= lo &&
                   f.spans[static_cast<std::size_t>(i)].second >= hi;
        };
        double wt = 0, bt = 0;
        int n_wt = 0, n_bt = 0;
        std::map<int, int> trees;
        for (int i = 0; i < f.indices.cols(); ++i) {
            if (!covers(i)) continue;
            ++trees[f.tree[static_cast<std::size_t>(i)]];
            for (int j = i + 1; j < f.indices.cols(); ++j) {
                if (!covers(j)) continue;
                const double r = *direct_r(f.indices, i, j, lo, hi, 3);
                if (r <= 0) continue;  // positive correlations, as the running RBAR keeps
                if (f.tree[static_cast<std::size_t>(i)] == f.tree[static_cast<std::size_t>(j)]) {
                    wt += r;
                    ++n_wt;
                } else {
                    bt += r;
                    ++n_bt;
                }
            }
        }
        EXPECT_EQ(w.n_trees, static_cast<int>(trees.size()));
        EXPECT_EQ(w.n_pairs_wt, n_wt);
        EXPECT_EQ(w.n_pairs_bt, n_bt);
        if (n_wt > 0) {
            EXPECT_NEAR(*w.rbar_wt, wt / n_wt, 1e-5);
        }
        if (n_bt > 0) {
            EXPECT_NEAR(*w.rbar_bt, bt / n_bt, 1e-5);
        }
    }
    // The year from which the tree-aware EPS stays at 0.85 is that of a window at or above it,
    // with none below after it.
    const std::optional<int> from = tree_eps_085_from(windows);
    if (from) {
        for (const TreeWindow& w : windows)
            if (w.middle_year >= *from && w.eps) {
                EXPECT_GE(*w.eps, 0.85) << w.middle_year;
            }
    }
}

TEST(ChronologyStatistics, TreesAndCoresByHand) {
    // Trees of 1, 2 and 3 cores: c_eff is the harmonic mean 3 / (1 + 1/2 + 1/3).
    YearMatrix m(40, 6);
    std::mt19937 rng(3);
    std::normal_distribution<double> z;
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r < 40; ++r) m(r, c) = static_cast<float>(1 + 0.1 * z(rng));
    const std::vector<int> tree{0, 1, 1, 2, 2, 2};
    const ChronologyStatistics s = chronology_statistics(m, 1, tree, 30, {}, 2);
    EXPECT_EQ(s.n_trees, 3);
    EXPECT_EQ(s.n_cores, 6);
    EXPECT_EQ(s.n_pairs, 15);
    EXPECT_EQ(s.n_pairs_wt, 4);
    EXPECT_NEAR(*s.c_eff, 3.0 / (1 + 0.5 + 1.0 / 3), 1e-12);
    EXPECT_DOUBLE_EQ(s.mean_overlap, 40.0);

    // Every series its own tree: the within-tree figure is undefined and the effective RBAR is
    // RBAR itself. Pairs shorter than the overlap asked for, or without spread, count nowhere.
    const std::vector<int> own{0, 1, 2, 3, 4, 5};
    for (int r = 0; r < 40; ++r) m(r, 5) = 2.0f;
    const ChronologyStatistics o = chronology_statistics(m, 1, own, 30, {}, 2);
    EXPECT_FALSE(o.rbar_wt);
    EXPECT_EQ(o.n_pairs, 10);
    EXPECT_DOUBLE_EQ(*o.rbar_eff, *o.rbar_tot);
    EXPECT_EQ(chronology_statistics(m, 1, own, 41, {}, 2).n_pairs, 0);
    EXPECT_FALSE(chronology_statistics(m, 1, own, 41, {}, 2).eps);
}

TEST(ChronologyStatistics, EpsStaysAtOrAboveTheThresholdFromTheLastCrossing) {
    // RBAR 0.3 with 20 series gives EPS 0.896; with 10 series 0.811.
    const std::vector<float> inside{kMissing, 0.3f, 0.3f, 0.3f, 0.3f, 0.3f, kMissing, 0.3f};
    const std::vector<int> touch{20, 20, 10, 20, 20, 20, 20, 20};
    EXPECT_EQ(eps_085_from(inside, touch, 1000), 1003);
    const std::vector<int> end_low{20, 20, 20, 20, 20, 20, 20, 10};
    EXPECT_FALSE(eps_085_from(inside, end_low, 1000));
    const std::vector<int> always{20, 20, 20, 20, 20, 20, 20, 20};
    EXPECT_EQ(eps_085_from(inside, always, 1000), 1001);
}

TEST(ResidualChronology, AutoregressiveModelsOfKnownProcesses) {
    std::mt19937 rng(11);
    std::normal_distribution<double> z(0.0, 0.1);
    std::vector<float> ar1(2000), ar2(2000), white(2000);
    double a = 0, b1 = 0, b2 = 0;
    for (std::size_t t = 0; t < ar1.size(); ++t) {
        a = 0.6 * a + z(rng);
        const double b = 0.5 * b1 - 0.3 * b2 + z(rng);
        b2 = b1;
        b1 = b;
        ar1[t] = static_cast<float>(1 + a);
        ar2[t] = static_cast<float>(1 + b);
        white[t] = static_cast<float>(1 + z(rng));
    }
    const ArModel m1 = fit_ar(ar1);
    ASSERT_GE(m1.order, 1);
    EXPECT_NEAR(m1.phi[0], 0.6, 0.06);
    const ArModel m2 = fit_ar(ar2);
    ASSERT_GE(m2.order, 2);
    EXPECT_NEAR(m2.phi[0], 0.5, 0.06);
    EXPECT_NEAR(m2.phi[1], -0.3, 0.06);
    EXPECT_LE(fit_ar(white).order, 2);
    // Residuals of the right model are white: their own model has no order, their mean is the
    // series' mean, and putting the model back gives the series again.
    const std::vector<float> r = ar_residuals(ar1, m1);
    const std::span<const float> rest(r.data() + m1.order, r.size() - static_cast<std::size_t>(m1.order));
    EXPECT_LE(fit_ar(rest).order, 1);
    double mean = 0;
    for (float v : rest) mean += v;
    EXPECT_NEAR(mean / static_cast<double>(rest.size()), m1.mean, 0.01);
    // Orders stay within a third of a short series.
    EXPECT_LE(fit_ar(std::span<const float>(ar1.data(), 9)).order, 3);
    EXPECT_EQ(fit_ar(std::vector<float>(50, 1.0f)).order, 0);
}

TEST(ResidualChronology, ResidualsAveragedOverTheSeriesPresent) {
    std::mt19937 rng(5);
    std::normal_distribution<double> z(0.0, 0.1);
    YearMatrix m(200, 3);
    std::vector<float> chron(200, 0.0f);
    std::vector<int> n(200, 0);
    for (int c = 0; c < 3; ++c) {
        double a = 0;
        for (int r = c * 20; r < 200; ++r) {
            a = 0.5 * a + z(rng);
            m(r, c) = static_cast<float>(1 + a);
        }
    }
    for (int r = 0; r < 200; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (m(r, c) == kMissing) continue;
            chron[static_cast<std::size_t>(r)] += m(r, c);
            ++n[static_cast<std::size_t>(r)];
        }
        chron[static_cast<std::size_t>(r)] /= static_cast<float>(n[static_cast<std::size_t>(r)]);
    }
    const ResidualChronology rc = residual_chronology(m, chron, n, 1);
    ASSERT_EQ(rc.orders.size(), 3u);
    // The mean of the residuals present each year, the whole scaled to mean 1 by division.
    std::vector<double> means(200, 0.0);
    double overall = 0;
    int covered = 0;
    for (int r = 0; r < 200; ++r) {
        double sum = 0;
        int k = 0;
        for (int c = 0; c < 3; ++c) {
            if (rc.residuals(r, c) == kMissing) continue;
            sum += rc.residuals(r, c);
            ++k;
        }
        ASSERT_EQ(rc.sample_size[static_cast<std::size_t>(r)], k);
        if (k == 0) continue;  // the first years of a series have no residual
        means[static_cast<std::size_t>(r)] = sum / k;
        overall += sum / k;
        ++covered;
    }
    overall /= covered;
    for (int r = 0; r < 200; ++r)
        if (rc.sample_size[static_cast<std::size_t>(r)] > 0) {
            EXPECT_NEAR(rc.residual[static_cast<std::size_t>(r)],
                        means[static_cast<std::size_t>(r)] / overall, 1e-5);
        }
    // Residuals stay near 1, as indices do.
    EXPECT_NEAR(rc.residual[150], 1.0f, 0.5f);
}

TEST(SeriesStatistics, FiguresOfSmallSeriesByHand) {
    const std::vector<float> w{1.0f, 3.0f, 1.0f, 3.0f, 0.0f, 0.0f};
    const SeriesStatistics s = series_statistics(w);
    EXPECT_EQ(s.length, 6);
    EXPECT_NEAR(s.mean, 8.0 / 6, 1e-6);
    EXPECT_NEAR(s.median, 1.0, 1e-6);
    EXPECT_EQ(s.zero_rings, 2);
    // |2(x1-x0)/(x1+x0)| = 1 for the three pairs 1-3, 3-1, 1-3; 2 for 3-0; 0-0 has no sum.
    EXPECT_NEAR(*s.mean_sensitivity, (1 + 1 + 1 + 2) / 4.0, 1e-6);
    EXPECT_LT(*s.ar1, 0.0);
    EXPECT_FALSE(series_statistics(std::vector<float>(5, 2.0f)).skewness);

    // Leave-one-out: two series that follow each other, one that runs against them.
    YearMatrix m(5, 3);
    const float a[] = {1, 2, 3, 2, 1}, b[] = {2, 3, 4, 3, 2}, c[] = {3, 2, 1, 2, 3};
    for (int r = 0; r < 5; ++r) m(r, 0) = a[r], m(r, 1) = b[r], m(r, 2) = c[r];
    const auto r = leave_one_out_correlations(m);
    // Against the mean of the other two: b + c and a + c are constant, so no r.
    EXPECT_FALSE(r[0]);
    EXPECT_FALSE(r[1]);
    EXPECT_NEAR(*r[2], -1.0, 1e-9);
}
