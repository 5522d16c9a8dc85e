// The crossdating checks on the bundled sets, with dating errors made on purpose in copies of
// them: a series shifted whole, a ring deleted and a ring inserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "console/console.hpp"
#include "io/loaders.hpp"
#include "model/methods.hpp"
#include "model/numeric_failure.hpp"
#include "stats/robust.hpp"
#include "xdate/critical_correlation.hpp"
#include "xdate/crossdating.hpp"
#include "xdate/crossdating_text.hpp"
#include "xdate/master.hpp"

namespace kestrovan {
namespace {

SeriesTable bundled(const std::string& name) {
    std::ifstream file(std::string(KESTROVAN_DATA_DIR) + "/" + name, std::ios::binary);
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    SeriesTable table;
    std::array<std::string, 3> header;
    if (!read_data(console, file, LoadSettings{}, table, header)) throw std::runtime_error(out.str());
    return table;
}

// Fewest other series with a ring in any year of series i.
int thinnest_cover(const SeriesTable& t, int i) {
    const YearSpan& s = t.years[static_cast<std::size_t>(i)];
    int thinnest = t.count();
    for (int year = s.first; year <= s.last; ++year) {
        int n = 0;
        for (int j = 0; j < t.count(); ++j)
            n += j != i && t.years[static_cast<std::size_t>(j)].first <= year &&
                 t.years[static_cast<std::size_t>(j)].last >= year;
        thinnest = std::min(thinnest, n);
    }
    return thinnest;
}

bool flagged(const SeriesCheck& s) {
    return std::any_of(s.segments.begin(), s.segments.end(),
                       [](const SegmentCheck& g) { return g.flag != kNoFlag; });
}

// The three unflagged series of 250 rings or more, covered by ten other series in every year,
// that correlate best with their masters.
std::vector<int> well_covered(const SeriesTable& t, const CrossdatingReport& r) {
    std::vector<int> chosen;
    for (int i = 0; i < t.count(); ++i)
        if (t.years[static_cast<std::size_t>(i)].length >= 250 &&
            !flagged(r.series[static_cast<std::size_t>(i)]) && thinnest_cover(t, i) >= 10)
            chosen.push_back(i);
    std::sort(chosen.begin(), chosen.end(), [&](int a, int b) {
        return r.series[static_cast<std::size_t>(a)].r > r.series[static_cast<std::size_t>(b)].r;
    });
    chosen.resize(std::min<std::size_t>(chosen.size(), 3));
    return chosen;
}

// Ring `year` of series i taken out (later rings one year earlier) or put in as the mean of
// its neighbours (later rings one year later).
void delete_ring(SeriesTable& t, int i, int year) {
    YearSpan& s = t.years[static_cast<std::size_t>(i)];
    auto c = t.data.column(i);
    std::copy(c.begin() + (year - s.first) + 1, c.begin() + s.length, c.begin() + (year - s.first));
    c[static_cast<std::size_t>(--s.length)] = kMissing;
    --s.last;
}

void insert_ring(SeriesTable& t, int i, int year) {
    YearSpan& s = t.years[static_cast<std::size_t>(i)];
    if (t.data.rows() < s.length + 1) t.data.resize(s.length + 1, t.count());
    auto c = t.data.column(i);
    const auto at = static_cast<std::size_t>(year - s.first);
    std::copy_backward(c.begin() + static_cast<std::ptrdiff_t>(at), c.begin() + s.length,
                       c.begin() + s.length + 1);
    c[at] = 0.5f * (c[at - 1] + c[at + 1]);
    ++s.length;
    ++s.last;
}

int middle_year(const SeriesTable& t, int i) {
    const YearSpan& s = t.years[static_cast<std::size_t>(i)];
    return s.first + s.length / 2 + 3;
}

bool same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

TEST(CriticalCorrelation, MatchesTables) {
    EXPECT_NEAR(critical_correlation(50, 0.99), 0.3281, 5e-5);
    EXPECT_NEAR(critical_correlation(50, 0.95), 0.2353, 5e-5);
    EXPECT_NEAR(student_t_quantile(0.95, 1), std::tan(0.45 * 3.141592653589793), 1e-9);  // Cauchy
    EXPECT_NEAR(student_t_quantile(0.99, 2), 0.98 * std::sqrt(2.0 / (1.0 - 0.98 * 0.98)), 1e-9);
    EXPECT_NEAR(student_t_quantile(0.975, 10), 2.228139, 1e-6);
    EXPECT_NEAR(student_t_quantile(0.995, 30), 2.749996, 1e-6);
    EXPECT_NEAR(student_t_quantile(0.05, 12), -1.782288, 1e-6);
    EXPECT_TRUE(std::isnan(critical_correlation(2, 0.99)));
}

// The master without a series against the biweight of the other series computed directly: the
// same where the biweight is the median (few series), close where its weights come from all.
TEST(Master, LeavesTheSeriesOut) {
    YearMatrix m(2, 12);
    for (int c = 0; c < 12; ++c) {
        m(0, c) = 1.0f + 0.1f * std::sin(1.7f * c) + (c == 5 ? 0.8f : 0.0f);  // one outlier
        if (c < 5) m(1, c) = 1.0f + 0.05f * c * c;
    }
    const MasterTable master = build_master(m, 2);
    RobustWorkspace ws;
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < (row == 0 ? 12 : 5); ++i) {
            std::vector<float> others, weights(12);
            for (int c = 0; c < (row == 0 ? 12 : 5); ++c)
                if (c != i) others.push_back(m(row, c));
            const float direct = biwgt(others, kMeanBiweight, weights, ws).location;
            EXPECT_NEAR(master.without(row, i), direct, row == 0 ? 0.005f : 0.0f) << row << " " << i;
            EXPECT_EQ(master.value(m, row, i, 11), row == 0 ? master.without(row, i) : kMissing);
        }
    EXPECT_EQ(master.value(m, 1, 7, 5), master.location[1]);  // a series without a ring that year
}

TEST(CrossdatingOptions, CheckNamesTheBadFigure) {
    EXPECT_EQ(CrossdatingOptions{}.check(), "");
    const auto message = [](auto change) {
        CrossdatingOptions o;
        change(o);
        return o.check();
    };
    EXPECT_NE(message([](auto& o) { o.segment_length = 9; }).find("segment length 9"), std::string::npos);
    EXPECT_NE(message([](auto& o) { o.lag = 51; }).find("segment lag 51"), std::string::npos);
    EXPECT_NE(message([](auto& o) { o.spline_wavelength = 1; }).find("spline wavelength 1"),
              std::string::npos);
    EXPECT_NE(message([](auto& o) { o.max_shift = 25; }).find("largest shift 25"), std::string::npos);
    EXPECT_NE(message([](auto& o) { o.critical_level = NAN; }).find("critical level"), std::string::npos);
    EXPECT_NE(message([](auto& o) { o.critical_level = 1.0; }).find("critical level"), std::string::npos);
    EXPECT_NE(message([](auto& o) { o.min_master_depth = 0; }).find("master depth 0"), std::string::npos);
    CrossdatingOptions bad;
    bad.lag = 0;
    EXPECT_THROW(crossdate(bundled("gp.rwl"), bad, 1), NumericFailure);
    SeriesTable apart = bundled("gp.rwl");  // two series 6000 years apart: beyond the span limit
    apart.years[0].first -= 6000;
    apart.years[0].last -= 6000;
    EXPECT_THROW(crossdate(apart, {}, 1), NumericFailure);
}

// On each bundled set: one series shifted two years late, a ring deleted from a second and a
// ring inserted into a third; the others keep their flags.
TEST(Crossdate, FindsDatingErrorsMadeOnPurpose) {
    for (const char* name : {"ca533.rwl", "co021.rwl", "gp.rwl"}) {
        SCOPED_TRACE(name);
        const SeriesTable original = bundled(name);
        const CrossdatingReport before = crossdate(original, {}, 1);
        const std::vector<int> chosen = well_covered(original, before);
        ASSERT_EQ(chosen.size(), 3u);
        SeriesTable altered = original;
        altered.years[static_cast<std::size_t>(chosen[0])].first += 2;
        altered.years[static_cast<std::size_t>(chosen[0])].last += 2;
        const int deleted = middle_year(original, chosen[1]), inserted = middle_year(original, chosen[2]);
        delete_ring(altered, chosen[1], deleted);
        insert_ring(altered, chosen[2], inserted);
        altered.update_summary();
        const CrossdatingReport after = crossdate(altered, {}, 1);

        const SeriesCheck& shifted = after.series[static_cast<std::size_t>(chosen[0])];
        ASSERT_GE(shifted.segments.size(), 8u);
        for (const SegmentCheck& s : shifted.segments) {
            EXPECT_EQ(s.flag, kFlagB) << s.first;
            EXPECT_EQ(s.best_lag, -2) << s.first;
        }
        for (const auto& [i, year, shift] :
             {std::tuple{chosen[1], deleted, 1}, std::tuple{chosen[2], inserted, -1}}) {
            const SeriesCheck& s = after.series[static_cast<std::size_t>(i)];
            SCOPED_TRACE(s.id);
            int later = 0;
            for (const SegmentCheck& g : s.segments) {
                if (g.first <= year) continue;
                ++later;
                EXPECT_EQ(g.flag, kFlagB) << g.first;
                EXPECT_EQ(g.best_lag, shift) << g.first;
            }
            EXPECT_GE(later, 3);
            ASSERT_TRUE(s.dating_change.has_value());
            EXPECT_LE(std::abs(*s.dating_change - year), 10);
            EXPECT_EQ(s.change_shift, shift);
        }

        int changed = 0, compared = 0;
        for (int i = 0; i < original.count(); ++i) {
            if (std::find(chosen.begin(), chosen.end(), i) != chosen.end()) continue;
            std::map<int, char> flags;
            for (const SegmentCheck& g : before.series[static_cast<std::size_t>(i)].segments)
                flags[g.first] = g.flag;
            for (const SegmentCheck& g : after.series[static_cast<std::size_t>(i)].segments) {
                const auto it = flags.find(g.first);
                changed += it == flags.end() || it->second != g.flag;
                if (it != flags.end()) flags.erase(it);
            }
            changed += static_cast<int>(flags.size());
            compared += static_cast<int>(before.series[static_cast<std::size_t>(i)].segments.size());
        }
        EXPECT_LE(changed, std::max(3, compared * 3 / 100));
    }
}

// Threads change no figure; years moved by a multiple of the lag (into negative years, where
// segments still start at multiples of it) change nothing but the years.
TEST(Crossdate, SameFiguresAtAnyThreadCountAndYearOrigin) {
    const SeriesTable t = bundled("ca533.rwl");
    const CrossdatingReport one = crossdate(t, {}, 1), two = crossdate(t, {}, 2);
    SeriesTable early = t;
    for (YearSpan& s : early.years) {
        s.first -= 2000;
        s.last -= 2000;
    }
    const CrossdatingReport moved = crossdate(early, {}, 2);
    ASSERT_EQ(one.series.size(), static_cast<std::size_t>(t.count()));
    EXPECT_EQ(moved.first_year, one.first_year - 2000);
    for (std::size_t i = 0; i < one.series.size(); ++i) {
        for (const CrossdatingReport* other : {&two, &moved}) {
            const SeriesCheck &a = one.series[i], &b = other->series[i];
            const int offset = other == &moved ? 2000 : 0;
            EXPECT_TRUE(same(a.r, b.r)) << a.id;
            ASSERT_EQ(a.segments.size(), b.segments.size()) << a.id;
            for (std::size_t k = 0; k < a.segments.size(); ++k) {
                const SegmentCheck &x = a.segments[k], &y = b.segments[k];
                EXPECT_EQ(x.first, y.first + offset);
                EXPECT_TRUE(same(x.r, y.r) && same(x.best_r, y.best_r) && x.best_lag == y.best_lag &&
                            x.flag == y.flag)
                    << a.id << " " << x.first;
                EXPECT_EQ(x.first % 25, 0);
            }
            ASSERT_EQ(a.dating_change.has_value(), b.dating_change.has_value()) << a.id;
            if (a.dating_change) {
                EXPECT_EQ(*a.dating_change, *b.dating_change + offset);
            }
        }
    }
    EXPECT_EQ(crossdating_text(one, "ca533"), crossdating_text(two, "ca533"));
}

// Missing rings, zero rings under logarithms, a series too short for a segment, and the text:
// ASCII lines of at most 80 columns.
TEST(Crossdate, HandlesGapsZeroRingsShortSeriesAndWritesNarrowText) {
    SeriesTable t = bundled("ca533.rwl");
    const CrossdatingReport plain = crossdate(t, {}, 1);
    t.data(200, 1) = kMissing;  // a missing ring inside the second series
    const int gap_year = t.years[1].first + 200;
    t.data.column(2)[0] = 0.0f;
    t.years[3].length = 30;  // a series shorter than a segment
    t.years[3].last = t.years[3].first + 29;
    CrossdatingOptions logs;
    logs.log = true;
    for (const CrossdatingReport& r : {crossdate(t, {}, 1), crossdate(t, logs, 1)}) {
        for (const SegmentCheck& g : r.series[1].segments)
            EXPECT_TRUE(g.last < gap_year || g.first > gap_year);
        EXPECT_GE(r.series[1].segments.size(), plain.series[1].segments.size() - 3);
        EXPECT_TRUE(r.series[3].segments.empty());
        EXPECT_EQ(r.series[3].note, "shorter than a segment");
        for (const SeriesCheck& s : r.series)
            for (const SegmentCheck& g : s.segments)
                EXPECT_TRUE(std::isfinite(g.r) && std::isfinite(g.best_r));
        EXPECT_NEAR(r.series_intercorrelation, plain.series_intercorrelation, 0.05);
    }
    CrossdatingOptions wide;
    wide.segment_length = wide.lag = 1000;
    wide.spline_wavelength = 4000;
    wide.max_shift = 499;
    wide.min_master_depth = 4500;
    wide.critical_level = 0.9995;
    const CrossdatingReport none = crossdate(t, wide, 1);
    EXPECT_EQ(none.segments, 0);
    std::istringstream text(crossdating_text(plain, "Campito Mountain \xc3\xa9") +
                            crossdating_summary_lines(plain) + crossdating_text(none, std::string(100, 'x')) +
                            crossdating_summary_lines(none));
    std::string line;
    int lines = 0;
    while (std::getline(text, line)) {
        ++lines;
        EXPECT_LE(line.size(), 80u) << line;
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c >= 32 && c < 127; })) << line;
    }
    EXPECT_GT(lines, plain.segments);
}

}  // namespace
}  // namespace kestrovan
