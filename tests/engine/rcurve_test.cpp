// The Regional curve, its history, its dialogue and its file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "engine/engine_test_support.hpp"
#include "engine/rcurve.hpp"
#include "run/series_files.hpp"
#include "support/test_io.hpp"

namespace kestrovan {
namespace {

// Columns of values by ring; lengths from the vectors.
YearMatrix rings(const std::vector<std::vector<float>>& series, std::vector<int>& lengths) {
    std::size_t rows = 1;
    for (const auto& s : series) rows = std::max(rows, s.size());
    YearMatrix m(static_cast<int>(rows), static_cast<int>(series.size()));
    lengths.clear();
    for (std::size_t i = 0; i < series.size(); ++i) {
        for (std::size_t j = 0; j < series[i].size(); ++j)
            m(static_cast<int>(j), static_cast<int>(i)) = series[i][j];
        lengths.push_back(static_cast<int>(series[i].size()));
    }
    return m;
}

// Column (1-based) of "==> " on the line holding `text`, which must start at column 2.
int marker_column(const std::string& out, const std::string& text) {
    const auto at = out.find("\n " + text);
    if (at == std::string::npos) return -1;
    const auto start = at + 1;
    const auto marker = out.find("==> ", start);
    return static_cast<int>(marker - start) + 1;
}

struct ConsoleFixture {
    explicit ConsoleFixture(const std::string& answers = {}) : in(answers), console(in, out) {}
    Notices notices;
    std::istringstream in;
    std::ostringstream out;
    Console console;
};

TEST(Rcurve, MeanByAgeWithoutOffsets) {
    ConsoleFixture f;
    std::vector<int> len;
    const YearMatrix m = rings({{1, 2, 3, 4, 5}, {3, 4, 5}, {2, 3, 4, 6}}, len);
    RegionalFit fit;
    fit.code = 6;
    const RegionalCurve rc = rcurve({m, len, {}, false}, fit, f.notices);
    EXPECT_EQ(rc.ages, 5);
    EXPECT_EQ(rc.min_offset, 0);
    const std::vector<float> expected{2.0f, 3.0f, 4.0f, 5.0f, 5.0f};
    for (int a = 0; a < 5; ++a) EXPECT_FLOAT_EQ(rc.raw[a], expected[a]);
    for (int a = 0; a < 5; ++a) EXPECT_FLOAT_EQ(rc.smoothed[a], 19.0f / 5.0f);
    EXPECT_EQ(rc.code, 6);
}

TEST(Rcurve, PithOffsetsShiftTheCurveAndTheTruncation) {
    ConsoleFixture f;
    std::vector<int> len;
    std::vector<float> a(40), b(30);
    for (int j = 0; j < 40; ++j) a[j] = 100.0f - j;
    for (int j = 0; j < 30; ++j) b[j] = 100.0f - (j + 3);  // offset 8 = 3 rings older than a's 5
    const YearMatrix m = rings({a, b}, len);
    const std::vector<int> offsets{5, 8};
    RegionalFit fit;
    fit.code = 4;  // straight line: exact on these linear values
    fit.truncation_age = 10;
    const RegionalCurve rc = rcurve({m, len, offsets, true}, fit, f.notices);
    EXPECT_EQ(rc.min_offset, 5);
    EXPECT_EQ(rc.ages, 45);
    for (int age = 1; age <= 5; ++age) {
        EXPECT_EQ(rc.raw[age - 1], kMissing);
        EXPECT_EQ(rc.smoothed[age - 1], kMissing);
    }
    // Ages 6..15 (ten ages from the youngest present) are fitted, the rest held at age 15.
    for (int age = 6; age <= 15; ++age) EXPECT_NEAR(rc.smoothed[age - 1], 100.0f - (age - 6), 1e-3);
    for (int age = 16; age <= 45; ++age) EXPECT_FLOAT_EQ(rc.smoothed[age - 1], rc.smoothed[14]);
    EXPECT_FLOAT_EQ(rc.raw[44], 100.0f - 39);  // raw curve unchanged

    // Without the flag the offsets still count, but the curve is not shifted.
    const RegionalCurve plain = rcurve({m, len, offsets, false}, RegionalFit{6}, f.notices);
    EXPECT_EQ(plain.min_offset, 0);
    EXPECT_EQ(plain.raw[0], kMissing);
    EXPECT_EQ(plain.smoothed[0], kMissing);  // no ring has age 1
    EXPECT_TRUE(std::isfinite(plain.smoothed[5]) && plain.smoothed[5] != kMissing);
}

TEST(Rcurve, TruncationAt50OfA300AgeCurve) {
    ConsoleFixture f;
    std::vector<int> len;
    std::vector<float> y(300);
    for (int j = 0; j < 300; ++j)
        y[j] = 2.0f * std::exp(-0.02f * (j + 1)) + 0.5f + 0.05f * std::sin(j * 0.7f);
    const YearMatrix m = rings({y}, len);
    RegionalFit fit;
    fit.code = -2;
    fit.stiffness = 10;
    fit.truncation_age = 50;
    const RegionalCurve rc = rcurve({m, len, {}, false}, fit, f.notices);
    ASSERT_EQ(rc.ages, 300);
    for (int a = 50; a < 300; ++a) EXPECT_FLOAT_EQ(rc.smoothed[a], rc.smoothed[49]);
    for (int a = 0; a < 300; ++a) EXPECT_FLOAT_EQ(rc.raw[a], y[a]);  // a single series is its own mean
    for (int a = 0; a < 50; ++a) EXPECT_NEAR(rc.smoothed[a], y[a], 0.2f);

    // A truncation age beyond the curve means no truncation.
    fit.truncation_age = 1000;
    const RegionalCurve whole = rcurve({m, len, {}, false}, fit, f.notices);
    fit.truncation_age = 0;
    const RegionalCurve none = rcurve({m, len, {}, false}, fit, f.notices);
    for (int a = 0; a < 300; ++a) EXPECT_FLOAT_EQ(whole.smoothed[a], none.smoothed[a]);
}

TEST(Rcurve, GapsAndTooFewAges) {
    ConsoleFixture f;
    std::vector<int> len;
    std::vector<float> a(10, 2.0f), b(10, 1.0f);
    const YearMatrix m = rings({a, b}, len);
    // Offsets 0 and 20 leave ages 11..20 without data.
    const RegionalCurve rc =
        rcurve({m, len, std::vector<int>{0, 20}, true}, RegionalFit{-2, 7.0f, 0, 10, 0}, f.notices);
    ASSERT_EQ(rc.ages, 30);
    EXPECT_EQ(rc.raw[14], kMissing);
    // The fit runs through the gap, but both curves report the empty ages as empty.
    for (int age = 0; age < 30; ++age) {
        const float v = rc.smoothed[static_cast<std::size_t>(age)];
        if (age >= 10 && age < 20) {
            EXPECT_EQ(v, kMissing) << age;
            continue;
        }
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GT(v, 0.5f);
        EXPECT_LT(v, 2.5f);
    }
    // Three ages are too few for a spline: the mean is used instead.
    const YearMatrix s = rings({{3.0f, 2.0f, 1.0f}}, len);
    const RegionalCurve short_rc = rcurve({s, len, {}, false}, RegionalFit{-2, 7.0f, 0, 10, 0}, f.notices);
    EXPECT_EQ(short_rc.code, 6);
    for (float v : short_rc.smoothed) EXPECT_FLOAT_EQ(v, 2.0f);
    EXPECT_FALSE(regional_curve_goes_negative(short_rc));
}

TEST(RegionalCurveHistory, KeepsInitialAndLatest) {
    RegionalCurveHistory h;
    RegionalCurve c;
    c.ages = 1;
    c.raw = {0.0f};
    c.smoothed = {0.0f};
    h.set_initial(c);
    for (int i = 1; i < 150; ++i) {
        c.raw[0] = static_cast<float>(i);
        h.add(c);
    }
    EXPECT_EQ(h.size(), kMaxRegionalCurvesKept);
    EXPECT_EQ(h.dropped(), 50);
    EXPECT_FLOAT_EQ(h[0].raw[0], 0.0f);
    EXPECT_FLOAT_EQ(h[1].raw[0], 51.0f);  // initial + the latest 99
    EXPECT_FLOAT_EQ(h[h.size() - 1].raw[0], 149.0f);
}

// The published iterate may come before the last iteration of a full history: the curve it read
// is never dropped, and cutting the history after it goes by the curves' numbers, not by their
// places in the shortened history.
TEST(RegionalCurveHistory, TruncatedAfterTheBestIterateOfAFullHistory) {
    auto curve = [](float v) {
        RegionalCurve c;
        c.ages = 1;
        c.raw = {v};
        c.smoothed = {v};
        return c;
    };
    for (const int best : {1, 50}) {
        RegionalCurveHistory h;
        h.set_initial(curve(0.0f));
        for (int k = 1; k <= 100; ++k) h.add(curve(static_cast<float>(k)), best);
        EXPECT_EQ(h.size(), kMaxRegionalCurvesKept);
        EXPECT_EQ(h.added(), 101);
        h.truncate(best + 1);  // the initial curve and those of iterations 1 .. best
        ASSERT_GE(h.size(), 1);
        EXPECT_FLOAT_EQ(h[h.size() - 1].raw[0], static_cast<float>(best)) << best;
        EXPECT_FLOAT_EQ(h[0].raw[0], 0.0f);
        for (int j = 1; j < h.size(); ++j) EXPECT_LT(h[j - 1].raw[0], h[j].raw[0]);
    }
}

TEST(RegionalCurveDialogue, AnswersAndTruncation) {
    std::vector<int> len;
    std::vector<float> y(80);
    for (int j = 0; j < 80; ++j) y[j] = 1.0f + 1.0f / (j + 1);
    const YearMatrix m = rings({y, y}, len);
    SeriesTable table;
    table.data = m;
    table.years = {{1900, 1979, 80}, {1910, 1989, 80}};
    table.ids = {"A0000001", "A0000002"};
    table.update_summary();
    test::CountingPlotter plotter;
    OutputFiles files;  // not written by the dialogue

    {  // Unreadable answers ask again; then no redo, no truncation.
        ConsoleFixture f("maybe\n\nf\n.false.\n");
        RegionalFit fit{-2, 7.0f, 0, 10, 0};
        RegionalCurveHistory h;
        RegionalCurve rc;
        EXPECT_FALSE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                             kestrovan::testing::TestIo(files, f.console, plotter).io(), h,
                                             rc));
        EXPECT_EQ(fit.truncation_age, 0);
        EXPECT_EQ(h.size(), 1);
        const std::string out = f.out.str();
        EXPECT_EQ(marker_column(out, "Try different RCS detrending [T]rue or [F]alse"), 50);
        EXPECT_EQ(marker_column(out, "Truncate the Regional Curve? [T]rue or [F]alse"), 50);
    }
    {  // Redo request.
        ConsoleFixture f("TRUE\n");
        RegionalFit fit{-2, 7.0f, 0, 10, 0};
        RegionalCurveHistory h;
        RegionalCurve rc;
        EXPECT_TRUE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                            kestrovan::testing::TestIo(files, f.console, plotter).io(), h,
                                            rc));
    }
    {  // Truncation: an unreadable age asks again, then 50; the second round is accepted.
        ConsoleFixture f("f\nt\nabc\n50\nf\nf\n");
        RegionalFit fit{-2, 7.0f, 0, 10, 0};
        RegionalCurveHistory h;
        RegionalCurve rc;
        EXPECT_FALSE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                             kestrovan::testing::TestIo(files, f.console, plotter).io(), h,
                                             rc));
        EXPECT_EQ(fit.truncation_age, 50);
        EXPECT_EQ(h.size(), 1);  // the accepted curve replaces the first one
        EXPECT_FLOAT_EQ(rc.smoothed[79], rc.smoothed[49]);
        EXPECT_NE(f.out.str().find("Optimum common interval"), std::string::npos);
        EXPECT_NE(f.out.str().find(" in the estimation of the Regional model"), std::string::npos);
    }
    {  // Ages of 0 or less mean no truncation, beyond the curve the whole curve.
        ConsoleFixture f("f\nt\n-3\nf\nt\n9999\nf\nf\n");
        RegionalFit fit{-2, 7.0f, 0, 10, 0};
        RegionalCurveHistory h;
        RegionalCurve rc;
        EXPECT_FALSE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                             kestrovan::testing::TestIo(files, f.console, plotter).io(), h,
                                             rc));
        EXPECT_EQ(fit.truncation_age, 80);
    }
    {  // "/" stops the program; end of input too.
        ConsoleFixture f("/\n");
        RegionalFit fit{-2, 7.0f, 0, 10, 0};
        RegionalCurveHistory h;
        RegionalCurve rc;
        EXPECT_THROW(
            regional_curve_dialogue({m, len, {}, false, table}, fit,
                                    kestrovan::testing::TestIo(files, f.console, plotter).io(), h, rc),
            ProgramStop);
        ConsoleFixture g("f\n");
        EXPECT_THROW(
            regional_curve_dialogue({m, len, {}, false, table}, fit,
                                    kestrovan::testing::TestIo(files, g.console, plotter).io(), h, rc),
            ProgramStop);
    }
}

TEST(RegionalCurveDialogue, NegativeCurveWarns) {
    std::vector<int> len;
    std::vector<float> y(60);
    for (int j = 0; j < 60; ++j) y[j] = 3.0f - 0.1f * j;  // the line crosses 0
    const YearMatrix m = rings({y}, len);
    SeriesTable table;
    table.data = m;
    table.years = {{1900, 1959, 60}};
    table.ids = {"N0000001"};
    test::CountingPlotter plotter;
    OutputFiles files;  // not written by the dialogue
    ConsoleFixture f("\nf\nf\n");
    RegionalFit fit{4, 7.0f, 0, 10, 0};
    RegionalCurveHistory h;
    RegionalCurve rc;
    EXPECT_FALSE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                         kestrovan::testing::TestIo(files, f.console, plotter).io(), h, rc));
    EXPECT_NE(
        f.out.str().find(
            "   **************** WARNING ****************\n       Regional Curve goes south (negative) \n"),
        std::string::npos);
    EXPECT_NE(f.out.str().find("Hit RETURN to Continue"), std::string::npos);

    // With the floors set the warning still comes (the fit went south), and the curve the run
    // goes on with is the mean of the line's data instead.
    ConsoleFixture g("\nf\nf\n");
    fit = RegionalFit{4, 7.0f, 0, 10, 0};
    fit.floor = fit.line_floor = 0.02f;
    EXPECT_FALSE(regional_curve_dialogue({m, len, {}, false, table}, fit,
                                         kestrovan::testing::TestIo(files, g.console, plotter).io(), h, rc));
    EXPECT_NE(g.out.str().find("Regional Curve goes south (negative)"), std::string::npos);
    EXPECT_TRUE(rc.replaced_by_mean);
    EXPECT_EQ(rc.code, 6);
    for (float v : rc.smoothed) EXPECT_NEAR(v, 0.05f, 1e-5f);
}

TEST(Rcurve, LinesAndExponentialsGiveWayToTheMeanOtherCurvesAreRaised) {
    ConsoleFixture f;
    std::vector<int> len;
    std::vector<float> falling(80), dip(80);
    for (int j = 0; j < 80; ++j) {
        falling[j] = 2.0f - 0.02f * j;  // 0.42 at the last age
        dip[j] = j < 40 ? 1.0f : 0.0f;  // a spline through the step undershoots 0
    }
    const YearMatrix lines = rings({falling}, len);

    // A line above the line floor stays; one that reaches it (a constant of 0.48 added to data
    // whose line ends at 0.42 - 0.48 mm) gives way to the mean, code 6, whose value is above it.
    RegionalFit fit{4, 7.0f, 0, 10, 0};
    fit.floor = 0.02f;
    fit.line_floor = 0.40f;
    RegionalCurve rc = rcurve({lines, len, {}, false}, fit, f.notices);
    EXPECT_EQ(rc.code, 4);
    EXPECT_FALSE(rc.replaced_by_mean);
    EXPECT_NEAR(rc.smoothed[79], 0.42f, 1e-4f);
    fit.line_floor = 0.50f;
    for (int code : {1, 2, 4, 5}) {
        fit.code = code;
        rc = rcurve({lines, len, {}, false}, fit, f.notices);
        EXPECT_TRUE(rc.replaced_by_mean) << code;
        EXPECT_EQ(rc.code, 6) << code;
        for (float v : rc.smoothed) ASSERT_NEAR(v, 1.21f, 1e-4f) << code;
    }

    // A spline below the floor keeps its shape and is raised to the floor where it undershoots.
    const YearMatrix step = rings({dip}, len);
    fit = RegionalFit{-2, 7.0f, 0, 10, 0};
    const RegionalCurve free = rcurve({step, len, {}, false}, fit, f.notices);
    fit.floor = 0.02f;
    fit.line_floor = 0.50f;
    rc = rcurve({step, len, {}, false}, fit, f.notices);
    EXPECT_EQ(rc.code, -2);
    EXPECT_FALSE(rc.replaced_by_mean);
    EXPECT_GT(rc.raised, 0);
    EXPECT_TRUE(regional_curve_goes_negative(rc));  // its fit went below 0
    for (int a = 0; a < 80; ++a) ASSERT_FLOAT_EQ(rc.smoothed[a], std::max(free.smoothed[a], 0.02f)) << a;
}

TEST(RcsCurvesFile, Layout) {
    test::TempDir dir("rcs");
    RegionalCurveHistory h;
    RegionalCurve a;
    a.ages = 3;
    a.raw = {1.5f, 1.25f, kMissing};
    a.smoothed = {1.4f, 1.3f, 1.2f};
    h.set_initial(a);
    RegionalCurve b;
    b.ages = 2;
    b.raw = {2.0f, 1.0f};
    b.smoothed = {1.9f, 1.1f};
    h.add(b);
    const std::string path = dir.file("x_RCScurves.txt");
    write_rcs_curves(path, h);
    std::ifstream in(path);
    std::string l1, l2, l4, extra;
    std::getline(in, l1);
    EXPECT_EQ(l1, "Bio Year     RC     fRC      RC     fRC   ");
    std::getline(in, l2);
    EXPECT_EQ(l2, "    1.00    1.50    1.40    2.00    1.90");
    std::getline(in, l4);
    std::getline(in, l4);
    EXPECT_EQ(l4, "    3.00 -999.00    1.20 -999.00 -999.00");
    EXPECT_FALSE(std::getline(in, extra));
}

}  // namespace
}  // namespace kestrovan
