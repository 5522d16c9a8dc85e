// Common interval: the worked two-series case, one series, identical spans, years before 0,
// the report lines and the series limit.
#include <gtest/gtest.h>

#include <sstream>

#include "console/numeric_stop.hpp"
#include "diag/comint.hpp"
#include "model/year_matrix.hpp"

using namespace kestrovan;

namespace {
CommonInterval run(std::vector<int> first, std::vector<int> len, std::string* text = nullptr) {
    std::istringstream in;
    std::ostringstream out;
    Console con(in, out);
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < first.size(); ++i) ids.push_back("S" + std::to_string(i) + "      ");
    CommonInterval c = comint(first, ids, len);
    print_notices(con, c.report);
    if (text) *text = out.str();
    return c;
}
}  // namespace

TEST(Comint, TwoOverlappingSeriesPreferMoreRings) {
    std::string text;
    const CommonInterval c = run({1800, 1850}, {101, 101}, &text);  // 1800–1900, 1850–1950
    EXPECT_EQ(c.start, 1850);
    EXPECT_EQ(c.end, 1900);
    EXPECT_EQ(c.series, 2);
    EXPECT_EQ(c.rings, 102);
    EXPECT_EQ(c.span_first, 1800);
    EXPECT_EQ(c.span_last, 1950);
    const std::string expected =
        "\n"
        "                    ******************************************\n"
        "                    **  Time span of chronology:  1800 to 1950\n"
        "                    **  length =               :           151\n"
        "                    **  Number of series in chronology:      2\n"
        "                    **  Optimum common interval:  1850 to 1900\n"
        "                    **  Number of years included:           51\n"
        "                    **  Number of Series included:           2\n"
        "                    **  Number of rings:                   102\n"
        "                    **  Length of longest Series:          101\n"
        "                    **  Length of shortest Series:         101\n"
        "                    ******************************************\n";
    EXPECT_EQ(text, expected);
}

TEST(Comint, OneSeriesAndIdenticalSpans) {
    CommonInterval c = run({1700}, {250});
    EXPECT_EQ(c.start, 1700);
    EXPECT_EQ(c.end, 1949);
    EXPECT_EQ(c.series, 1);
    EXPECT_EQ(c.rings, 250);

    c = run({1650, 1650, 1650, 1650}, {300, 300, 300, 300});
    EXPECT_EQ(c.start, 1650);
    EXPECT_EQ(c.end, 1949);
    EXPECT_EQ(c.series, 4);
    EXPECT_EQ(c.rings, 1200);
    EXPECT_EQ(c.longest, 300);
    EXPECT_EQ(c.shortest, 300);
}

TEST(Comint, YearsBeforeZeroAreOrderedNumerically) {
    // −200..−100 and −150..−50: the same shape as the worked case, shifted before year 0.
    CommonInterval c = run({-200, -150}, {101, 101});
    EXPECT_EQ(c.start, -150);
    EXPECT_EQ(c.end, -100);
    EXPECT_EQ(c.rings, 102);
    // Across year 0 (no year 0 skipping: the year after −1 is 0).
    c = run({-30, -10, 5}, {61, 41, 20});  // −30..30, −10..30, 5..24
    EXPECT_EQ(c.start, -10);
    EXPECT_EQ(c.end, 30);
    EXPECT_EQ(c.series, 2);
    EXPECT_EQ(c.rings, 82);
}

TEST(Comint, TiesKeepTheFirstCandidateFound) {
    // 1900–1949 and 1950–1999 hold 50 rings each alone; the later end year is searched first.
    const CommonInterval c = run({1900, 1950}, {50, 50});
    EXPECT_EQ(c.start, 1950);
    EXPECT_EQ(c.end, 1999);
    EXPECT_EQ(c.series, 1);
}

TEST(Comint, MoreSeriesThanTheLimitStops) {
    std::vector<int> first(kMaxSeries + 1, 1900), len(kMaxSeries + 1, 10);
    std::string text;
    try {
        run(first, len, &text);
        FAIL() << "expected a stop";
    } catch (const NumericFailure& failure) {
        const ProgramStop stop = stop_for(failure);
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
        EXPECT_STREQ(stop.what(), " too many series for subroutine Commint");
        ASSERT_EQ(failure.lines().size(), 2u);
        EXPECT_EQ(failure.lines()[1].text, " >> file contains more than program limit of4500 series");
    }
}
