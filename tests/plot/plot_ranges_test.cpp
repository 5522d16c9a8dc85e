// Axis ranges, page layouts and file names of the plots, checked without PLplot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plot/plot_device.hpp"
#include "plot/plot_ranges.hpp"

namespace kestrovan {
namespace {

TEST(Plot1Range, MarginIsATenthOfTheWholeUnitsFrom10And5PercentBelow) {
    // Index-like data (width below 10) get 5 % of the width, so that maxima stay off the frame.
    std::vector<float> a{0.6f, 1.0f, 1.4f}, b{0.9f, 1.1f, 0.7f};
    std::vector<float> none{-999.9f};
    AxisRange r = plot1_y_range(a, b, 3, none, 1.0f);
    EXPECT_FLOAT_EQ(r.min, 0.6f - 0.04f);
    EXPECT_FLOAT_EQ(r.max, 1.4f + 0.04f);

    // Data between 10 and 60: integer width 50, padding 5 at both ends; width 12.5 pads by 1.
    std::vector<float> c{10.0f, 35.0f, 60.0f}, d{20.0f, 30.0f, 40.0f};
    r = plot1_y_range(c, d, 3, none, 1.0f);
    EXPECT_FLOAT_EQ(r.min, 5.0f);
    EXPECT_FLOAT_EQ(r.max, 65.0f);
    EXPECT_FLOAT_EQ(plot1_padding({0.0f, 12.5f}), 1.0f);

    // Only the first n values count, and the missing code is left out.
    std::vector<float> e{1.0f, 2.0f, 100.0f}, f{-999.0f, 1.5f, 0.0f};
    r = plot1_y_range(e, f, 2, none, 1.0f);
    EXPECT_FLOAT_EQ(r.min, 1.0f - 0.05f);
    EXPECT_FLOAT_EQ(r.max, 2.0f + 0.05f);
}

TEST(Plot1Range, ReferenceAtEps085EndsTheAxisAtOneAndWidthZeroStartsAtZero) {
    std::vector<float> eps1{0.70f, 0.90f, 0.95f}, eps2{0.80f, 0.92f, 0.96f};
    std::vector<float> line085(3, 0.85f);
    AxisRange r = plot1_y_range(eps1, eps2, 3, line085, 1.0f);
    EXPECT_FLOAT_EQ(r.min, 0.70f - 0.015f);
    EXPECT_FLOAT_EQ(r.max, 1.0f + 0.015f);

    std::vector<float> counts{12.0f, 30.0f, 34.0f};
    std::vector<float> zero(3, 0.0f);
    r = plot1_y_range(counts, counts, 3, zero, 0.0f);
    EXPECT_FLOAT_EQ(r.min, 0.0f);
    EXPECT_FLOAT_EQ(r.max, 36.0f);  // width 22 pads by 2
}

TEST(MultiSeriesRanges, SpaghettiLinguineAndScatterExamples) {
    YearMatrix lines(4, 2);
    const float v0[] = {0.8f, 1.0f, 1.1f, -999.0f};
    const float v1[] = {0.9f, 1.2f, 1.0f, 5.0f};  // row 3 lies past n and is not counted
    for (int i = 0; i < 4; ++i) {
        lines(i, 0) = v0[i];
        lines(i, 1) = v1[i];
    }
    AxisRange s = spaghetti_y_range(lines, 3, 2);
    EXPECT_NEAR(s.min, 0.78f, 1e-6f);
    EXPECT_NEAR(s.max, 1.22f, 1e-6f);
    s = spaghetti_y_range(lines, 4, 2);  // -999.0 is left out, 5.0 now counts
    EXPECT_NEAR(s.min, 0.8f - 4.2f / 20.0f, 1e-5f);

    YearMatrix first(5, 2), last(5, 2);
    std::vector<YearSpan> years{{1900, 1902, 3}, {1901, 1904, 4}};
    first(0, 0) = 0.2f;
    first(1, 0) = 1.0f;
    first(2, 0) = 1.5f;
    first(3, 0) = 50.0f;  // past the series' last year: not counted
    first(0, 1) = 1.0f;
    first(1, 1) = -999.0f;
    first(2, 1) = 2.0f;
    first(3, 1) = 1.1f;
    last(0, 0) = 0.9f;
    last(1, 0) = 3.0f;
    last(2, 0) = 1.0f;
    last(0, 1) = 1.2f;
    last(1, 1) = 1.3f;
    last(2, 1) = 1.4f;
    last(3, 1) = 1.0f;
    AxisRange l = linguine_y_range(first, last, years);
    EXPECT_FLOAT_EQ(l.min, 0.0f);  // 0.2 - 0.28 raised to 0
    EXPECT_NEAR(l.max, 3.28f, 1e-6f);
    last(2, 0) = 0.0f;  // a value of 0 keeps the margin below it: no line along the frame
    l = linguine_y_range(first, last, years);
    EXPECT_NEAR(l.min, -0.3f, 1e-6f);

    YearMatrix x(3, 2), y(3, 2);
    x(0, 0) = 0.5f;
    x(1, 0) = 1.5f;
    x(2, 0) = 99.0f;  // third point past the count
    y(0, 0) = -2.0f;
    y(1, 0) = 0.5f;
    y(2, 0) = -50.0f;
    x(0, 1) = 0.1f;
    x(1, 1) = 2.0f;
    y(0, 1) = 1.0f;
    y(1, 1) = 0.0f;
    std::vector<int> counts{2, 2};
    ScatterRanges sc = scatter_ranges(x, y, counts);
    EXPECT_FLOAT_EQ(sc.x.min, 0.1f);
    EXPECT_FLOAT_EQ(sc.x.max, 2.0f);
    EXPECT_FLOAT_EQ(sc.y.min, -3.0f);
    EXPECT_FLOAT_EQ(sc.y.max, 2.5f);
}

TEST(PlotValues, YearlyMeansAndSpectrumLogarithms) {
    // Two series with a gap between them: the uncovered years stay 0, missing values are left out.
    YearMatrix data(3, 2);
    data(0, 0) = 1.0f;
    data(1, 0) = 2.0f;
    data(0, 1) = 3.0f;
    data(1, 1) = kMissing;
    data(2, 1) = 5.0f;
    std::vector<YearSpan> years{{1901, 1902, 2}, {1902, 1904, 3}};
    std::vector<float> m = yearly_means(data, years, kMissing, 1900, 1905);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_FLOAT_EQ(m[0], 0.0f);  // 1900: no series
    EXPECT_FLOAT_EQ(m[1], 1.0f);
    EXPECT_FLOAT_EQ(m[2], 2.5f);  // (2 + 3) / 2
    EXPECT_FLOAT_EQ(m[3], 0.0f);  // the only value is missing
    EXPECT_FLOAT_EQ(m[4], 5.0f);
    EXPECT_FLOAT_EQ(m[5], 0.0f);

    std::vector<float> power{100.0f, 0.0f, -1.0f, 0.01f, 7.0f};
    std::vector<float> logs = log10_powers(power, 4);
    ASSERT_EQ(logs.size(), 4u);
    EXPECT_FLOAT_EQ(logs[0], 2.0f);
    EXPECT_EQ(logs[1], kMissing);
    EXPECT_EQ(logs[2], kMissing);
    EXPECT_FLOAT_EQ(logs[3], -2.0f);
}

TEST(PlotLayout, Plt4SubpagesByIterationCount) {
    auto is = [](PageLayout p, int c, int r) { return p.columns == c && p.rows == r; };
    EXPECT_TRUE(is(plt4_layout(1), 2, 4));
    EXPECT_TRUE(is(plt4_layout(8), 2, 4));
    EXPECT_TRUE(is(plt4_layout(9), 2, 5));
    EXPECT_TRUE(is(plt4_layout(10), 2, 5));
    EXPECT_TRUE(is(plt4_layout(11), 3, 5));
    EXPECT_TRUE(is(plt4_layout(15), 3, 5));
    EXPECT_TRUE(is(plt4_layout(16), 4, 5));
    EXPECT_TRUE(is(plt4_layout(20), 4, 5));
    EXPECT_TRUE(is(plt4_layout(21), 0, 0));
}

TEST(PlotNames, SavedFileNamesAndTitles) {
    EXPECT_EQ(title_file_name("Mean Segment Length And Mean Tree Age"), "MeanSegmentLengthAndMeanTreeAge.ps");
    EXPECT_EQ(title_file_name("Original & Signal Free Chronology, Iter =  12          "),
              "Original&SignalFreeChronology,Iter=12.ps");
    // A title without blanks keeps every character: the name is never cut to make room.
    const std::string sixty(60, 'A');
    EXPECT_EQ(title_file_name(sixty), sixty + ".ps");
    EXPECT_EQ(title_file_name(sixty + "BBB"), sixty + ".ps");  // the title field is 60 characters
    EXPECT_EQ(title_file_name("Orig/Stab"), "Orig_Stab.ps");   // never a path into a directory

    EXPECT_EQ(numbered_name("fig11.ps", 2), "fig11_2.ps");
    EXPECT_EQ(numbered_name("fig1", 3), "fig1_3");
    EXPECT_EQ(numbered_name("dir.x/fig1b.ps", 2), "dir.x/fig1b_2.ps");

    EXPECT_EQ(file_tag("STD >10Yr Spectrum"), "STD10YrSpectrum");
    EXPECT_EQ(file_tag("  "), "plot");

    const std::string t = scatter_title(0.87654f, -1.23456f, 0.45678f);
    EXPECT_EQ(t, "Y=-1.2346 + 0.4568(x)  Rho= 0.8765");
    EXPECT_LE(scatter_title(-123456.0f, -1.0e9f, 1.0e9f).size(), 55u);
}

TEST(PlotRanges, DegenerateRangesBecomeDrawable) {
    AxisRange r = drawable({100000.0f, -100000.0f});  // nothing taken in
    EXPECT_LT(r.min, r.max);
    r = drawable({2.0f, 2.0f});
    EXPECT_LT(r.min, 2.0f);
    EXPECT_GT(r.max, 2.0f);
    r = drawable({0.5f, 1.5f});
    EXPECT_FLOAT_EQ(r.min, 0.5f);
    EXPECT_FLOAT_EQ(r.max, 1.5f);
}

// A legend takes the first free corner (top right, top left, bottom right, bottom left); a line
// that only crosses a corner between two far-apart points still takes it; a box full of lines
// sends the legend below.
TEST(LegendPlace, FirstFreeCornerOrBelow) {
    const BoxPath rising{{0.0, 1.0}, {0.0, 1.0}};   // from bottom left to top right
    const BoxPath falling{{0.0, 1.0}, {1.0, 0.0}};  // from top left to bottom right
    const BoxPath low{{0.0, 1.0}, {0.1, 0.1}};
    EXPECT_EQ(legend_place(std::vector<BoxPath>{}, 0.3, 0.2), LegendPlace::TopRight);
    EXPECT_EQ(legend_place(std::vector<BoxPath>{rising}, 0.3, 0.2), LegendPlace::TopLeft);
    EXPECT_EQ(legend_place(std::vector<BoxPath>{rising, falling}, 0.3, 0.2), LegendPlace::Below);
    EXPECT_EQ(legend_place(std::vector<BoxPath>{rising, falling}, 0.05, 0.05), LegendPlace::Below);
    EXPECT_EQ(legend_place(std::vector<BoxPath>{low}, 0.3, 0.2), LegendPlace::TopRight);
    const BoxPath high{{0.0, 1.0}, {0.9, 0.9}};
    EXPECT_EQ(legend_place(std::vector<BoxPath>{high}, 0.3, 0.2), LegendPlace::BottomRight);
    EXPECT_EQ(legend_place(std::vector<BoxPath>{}, 1.2, 0.2), LegendPlace::Below);  // wider than the box
}

TEST(AxisScale, PowersOfTenOnlyWhereAScaleFactorWouldAppear) {
    EXPECT_EQ(axis_exponent({0.0f, 0.0034f}), -3);
    EXPECT_EQ(axis_exponent({-0.008f, 0.005f}), -3);
    EXPECT_EQ(axis_exponent({0.0f, 2.5f}), 0);
    EXPECT_EQ(axis_exponent({0.01f, 0.05f}), -2);  // PLplot would write its own factor
    EXPECT_EQ(axis_exponent({0.0f, 0.5f}), 0);
    EXPECT_EQ(axis_exponent({0.0f, 99999.0f}), 0);
    EXPECT_EQ(axis_exponent({0.0f, 250000.0f}), 5);
    EXPECT_EQ(axis_exponent({0.0f, 0.0f}), 0);
    EXPECT_EQ(scaled_label("Power", 0), "Power");
    EXPECT_EQ(scaled_label("Difference", -3), "Difference (x10#u-3#d)");
    // Period ticks: inside the frequencies, longest first, never crowded.
    const auto full = period_ticks(0.0, 0.5);
    ASSERT_FALSE(full.empty());
    EXPECT_EQ(full.back(), 2.0);
    for (std::size_t i = 1; i < full.size(); ++i) EXPECT_GE(1.0 / full[i] - 1.0 / full[i - 1], 0.035);
    const auto low = period_ticks(0.0, 0.1);
    EXPECT_EQ(low.back(), 10.0);
}

// Plot sizes in pixels or inches at a resolution; the pages devices get from them.
TEST(PlotSize, ParsedForms) {
    auto size = parse_plot_size("3000x2000");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 3000);
    EXPECT_EQ(size->height, 2000);
    size = parse_plot_size("8x6in@300");
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (PlotSize{2400, 1800, 300}));
    size = parse_plot_size("7.5x5in@600dpi");
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (PlotSize{4500, 3000, 600}));
    EXPECT_EQ(plot_size_text(*size), "7.5x5in@600");
    EXPECT_EQ(plot_size_text(*parse_plot_size("2400x1800")), "2400x1800");
    for (const char* bad : {"", "2400", "2400x", "x1800", "2400X1800", "99x1800", "30000x1000", "8x6in",
                            "8x6in@20", "2400.5x1800", "-2400x1800", "2400x1800px", "8x6in@300 "})
        EXPECT_FALSE(parse_plot_size(bad)) << bad;

    // PNG: 2400 x 1800 pixels by default, lines 10/3 as wide as on a 720-pixel page; vector
    // drawings keep PLplot's 720 x 540 points unless a size is given (in inches).
    PageSize page = page_size("pngcairo", {}, 1, 1);
    EXPECT_EQ(page.width, 2400);
    EXPECT_EQ(page.height, 1800);
    EXPECT_NEAR(page.line_scale, 2400.0 / 720.0, 1e-12);
    page = page_size("svg", {}, 1, 1);
    EXPECT_EQ(page.width, 720);
    EXPECT_EQ(page.line_scale, 1.0);
    page = page_size("svg", {2400, 1800, 300}, 1, 1);
    EXPECT_EQ(page.width, 576);  // 8 inches
    EXPECT_EQ(page.height, 432);
    EXPECT_EQ(page_size("psc", {2400, 1800, 300}, 1, 1).width, 0);  // its own page
    // Four rows of panels: twice the height, lines as on the single page.
    page = page_size("pngcairo", {}, 2, 4);
    EXPECT_EQ(page.width, 2400);
    EXPECT_EQ(page.height, 3600);
    EXPECT_NEAR(page.line_scale, 2400.0 / 720.0, 1e-12);
}

}  // namespace
}  // namespace kestrovan
