// Segment-length statistics, the four censoring operations, truncation and the series processing
// menu as a whole.
#include <gtest/gtest.h>

#include <optional>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/series_table.hpp"
#include "select/censor.hpp"
#include "select/segment_stats.hpp"
#include "select/selection.hpp"
#include "select/truncate.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;

namespace {

struct SeriesShape {
    const char* id;
    int first;
    int last;
};

// Every value encodes its series (integer part) and its year (fraction), so moves show.
float value_of(int series, int year) {
    return static_cast<float>(series + 1) + static_cast<float>(year % 1000) * 0.001f;
}

SeriesTable make_table(const std::vector<SeriesShape>& shapes) {
    SeriesTable t;
    int rows = 0;
    for (const auto& s : shapes) rows = std::max(rows, s.last - s.first + 1);
    t.data.resize(rows, static_cast<int>(shapes.size()));
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const auto& s = shapes[i];
        t.ids.push_back(std::string(s.id) + std::string(8 - std::string(s.id).size(), ' '));
        t.years.push_back({s.first, s.last, s.last - s.first + 1});
        for (int y = s.first; y <= s.last; ++y)
            t.data(y - s.first, static_cast<int>(i)) = value_of(static_cast<int>(i), y);
    }
    t.update_summary();
    return t;
}

SeriesTable lengths_table(const std::vector<int>& lengths) {
    std::vector<SeriesShape> shapes;
    static const char* names[] = {"A", "B", "C", "D", "E", "F", "G", "H"};
    for (std::size_t i = 0; i < lengths.size(); ++i)
        shapes.push_back({names[i], 1900, 1900 + lengths[i] - 1});
    return make_table(shapes);
}

std::vector<std::string> ids_of(const SeriesTable& t) {
    std::vector<std::string> out;
    for (const auto& id : t.ids) out.push_back(id.substr(0, id.find(' ')));
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

bool contains_line(const std::string& text, const std::string& line) {
    for (const auto& l : lines_of(text))
        if (l == line) return true;
    return false;
}

struct Io {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    explicit Io(const std::string& answers = {}) : in(answers) {}
};

// Runs a test in its own temporary directory (short relative file names).
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override { dir_.emplace("select"); }
    void TearDown() override { dir_.reset(); }
    std::string read_file(const std::string& name) {
        std::ifstream f(name);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    std::optional<kestrovan::testing::TempDir> dir_;
};

}  // namespace

TEST(SegmentStats, FiveNumbersAndCountsWithTable) {
    SeriesTable t = lengths_table({50, 80, 100, 120, 200});
    const SegmentStats s = segment_length_stats(t);
    EXPECT_EQ(s.value, (std::array<int, 5>{50, 80, 100, 120, 200}));
    EXPECT_EQ(s.count, (std::array<int, 5>{1, 4, 3, 2, 1}));
    EXPECT_EQ(s.median(), 100);

    Io io;
    Report report;
    print_segment_stats(s, false, io.console, report);
    EXPECT_EQ(io.out.str(),
              "\n"
              " ORIGINAL DATA SET              MIN   25%   MED   75%   MAX\n"
              " Segment length statistics:      50    80   100   120   200\n"
              " Series .ge. segment length:      1     4     3     2     1\n");
}

TEST(SegmentStats, MinCountsOnlyTheShortestAndHalfMediansTruncate) {
    // Median of 100, 150, 151, 200 is 150.5: printed and used as 150.
    SeriesTable t = lengths_table({151, 100, 200, 150});
    const SegmentStats s = segment_length_stats(t);
    EXPECT_EQ(s.median(), 150);
    EXPECT_EQ(s.count[0], 1);  // only the series of exactly 100
    EXPECT_EQ(s.count[2], 3);  // 150, 151, 200 reach 150
    // The table is not reordered by the statistics.
    EXPECT_EQ(t.years[0].length, 151);
}

TEST(Censoring, EachKeepOperationKeepsTheRightSeriesInInputOrder) {
    const std::vector<SeriesShape> shapes = {
        {"S1", 1750, 1990}, {"S2", 1800, 1850}, {"S3", 1820, 1990}, {"S4", 1801, 1960}, {"S5", 1700, 1760}};
    {
        SeriesTable t = make_table(shapes);
        Io io;
        EXPECT_EQ(cenbyseg(t, 100, io.console), 3);
        EXPECT_EQ(ids_of(t), (std::vector<std::string>{"S1", "S3", "S4"}));
        EXPECT_EQ(t.count(), 3);
        EXPECT_EQ(t.data.cols(), 3);
        // S3 moved from column 2 to column 1 with its values.
        EXPECT_FLOAT_EQ(t.data(0, 1), value_of(2, 1820));
        EXPECT_EQ(t.years[1].first, 1820);
        EXPECT_EQ(t.summary.first, 1750);
        EXPECT_EQ(t.summary.last, 1990);
        EXPECT_TRUE(contains_line(io.out.str(), " Total chronology length shortened:     50 years"));
        EXPECT_TRUE(contains_line(io.out.str(), "                                 NS   IFY   ILY   NYR"));
        EXPECT_TRUE(contains_line(
            io.out.str(), " Min segment length series:       3  1750  1990   241 Years total time span"));
    }
    {
        // Maximum start year 1800 keeps the series that starts in 1800.
        SeriesTable t = make_table(shapes);
        Io io;
        int year = 1800;
        EXPECT_EQ(cenbyify(t, year, io.console), 3);
        EXPECT_EQ(year, 1800);
        EXPECT_EQ(ids_of(t), (std::vector<std::string>{"S1", "S2", "S5"}));
        EXPECT_EQ(t.summary.last, 1990);
    }
    {
        // Minimum start year 1800 keeps it too.
        SeriesTable t = make_table(shapes);
        Io io;
        int year = 1800;
        EXPECT_EQ(cenayify(t, year, io.console), 3);
        EXPECT_EQ(ids_of(t), (std::vector<std::string>{"S2", "S3", "S4"}));
        EXPECT_EQ(t.summary.first, 1800);
        EXPECT_FLOAT_EQ(t.data(0, 2), value_of(3, 1801));
        // Cells of the longer series that moved in are not followed by stale values.
        EXPECT_FLOAT_EQ(t.data(t.years[0].length, 0), kMissing);
    }
}

TEST(Censoring, NoQualifyingSeriesLeavesTheTableUnchanged) {
    const std::vector<SeriesShape> shapes = {{"S1", 1750, 1990}, {"S2", 1800, 1850}};
    SeriesTable t = make_table(shapes);
    Io io;
    int year = 1700;
    EXPECT_EQ(cenbyify(t, year, io.console), 0);
    EXPECT_EQ(year, 0);
    year = 1900;
    EXPECT_EQ(cenayify(t, year, io.console), 0);
    EXPECT_EQ(year, 0);
    EXPECT_EQ(cenbyseg(t, 1000, io.console), 0);
    EXPECT_EQ(cenbycom(t, 1700, 2000, io.console), 0);
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"S1", "S2"}));
    EXPECT_EQ(t.data.cols(), 2);
    EXPECT_FLOAT_EQ(t.data(0, 1), value_of(1, 1800));
    EXPECT_EQ(t.summary.first, 1750);
}

TEST(Censoring, CommonPeriodCutsEveryKeptSeries) {
    SeriesTable t = make_table({{"LONG", 1850, 1990}, {"LATE", 1901, 1990}, {"EXACT", 1900, 1950}});
    Io io;
    EXPECT_EQ(cenbycom(t, 1900, 1950, io.console), 2);
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"LONG", "EXACT"}));
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(t.years[static_cast<std::size_t>(c)].first, 1900);
        EXPECT_EQ(t.years[static_cast<std::size_t>(c)].last, 1950);
        EXPECT_EQ(t.years[static_cast<std::size_t>(c)].length, 51);
    }
    EXPECT_FLOAT_EQ(t.data(0, 0), value_of(0, 1900));
    EXPECT_FLOAT_EQ(t.data(50, 0), value_of(0, 1950));
    for (int p = 51; p < t.data.rows(); ++p) EXPECT_FLOAT_EQ(t.data(p, 0), kMissing) << p;
    EXPECT_FLOAT_EQ(t.data(0, 1), value_of(2, 1900));
    EXPECT_EQ(t.summary.first, 1900);
    EXPECT_EQ(t.summary.last, 1950);
    EXPECT_EQ(t.summary.length, 51);
    EXPECT_TRUE(contains_line(io.out.str(), " Total chronology length shortened:     90 years"));
    EXPECT_TRUE(contains_line(io.out.str(),
                              "                                  2  1900  1950    51 Years total time span"));
}

TEST(Truncation, BeforeAndAfterMoveAndCutTheRightValues) {
    SeriesTable t = make_table({{"OLD", 1850, 1990}, {"YOUNG", 1920, 1990}});
    Io io;
    Report report;
    truncate_before(t, 1900, io.console, report);
    EXPECT_EQ(t.years[0].first, 1900);
    EXPECT_EQ(t.years[0].length, 91);
    EXPECT_FLOAT_EQ(t.data(0, 0), value_of(0, 1900));
    EXPECT_FLOAT_EQ(t.data(90, 0), value_of(0, 1990));
    EXPECT_FLOAT_EQ(t.data(91, 0), kMissing);
    EXPECT_EQ(t.years[1].first, 1920);  // already starts after the year: unchanged
    EXPECT_FLOAT_EQ(t.data(0, 1), value_of(1, 1920));
    EXPECT_EQ(t.summary.first, 1900);
    EXPECT_EQ(t.summary.length, 91);

    truncate_after(t, 1960, io.console, report);
    EXPECT_EQ(t.years[0].first, 1900);
    EXPECT_EQ(t.years[0].last, 1960);
    EXPECT_EQ(t.years[0].length, 61);
    EXPECT_FLOAT_EQ(t.data(60, 0), value_of(0, 1960));
    EXPECT_FLOAT_EQ(t.data(61, 0), kMissing);
    EXPECT_EQ(t.years[1].length, 41);
    EXPECT_EQ(t.summary.last, 1960);
}

TEST(Truncation, TooShortSeriesAreAllListedThenTheProgramStops) {
    SeriesTable t = make_table({{"SHORT1", 1800, 1910}, {"FINE", 1850, 1990}, {"SHORT2", 1700, 1905}});
    Io io;
    Report report;
    try {
        truncate_before(t, 1900, io.console, report);
        FAIL() << "expected a stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
        EXPECT_EQ(std::string(stop.what()), " Review your truncation choice!");
    }
    EXPECT_EQ(io.out.str(),
              "\n"
              " Series SHORT1   truncation before 1900 only leaves   11 values for analysis.\n"
              " Series SHORT2   truncation before 1900 only leaves    6 values for analysis.\n"
              " Please evaluate your truncation choice and see if it is\n"
              " appropriate for your data. You might want to consider deleting\n"
              " these series from further analysis if you want to truncate.\n");
    EXPECT_EQ(t.years[0].first, 1800);  // nothing changed
    EXPECT_FLOAT_EQ(t.data(0, 0), value_of(0, 1800));
}

class SelectionMenu : public TempDirTest {};

TEST_F(SelectionMenu, CommonPeriodChoiceCensorsSavesAndReportsInOrder) {
    SeriesTable t = make_table({{"LONG", 1850, 1990}, {"LATE", 1901, 1990}, {"MID", 1880, 1960}});
    OutputFiles files;
    files.data_name = "site.rwl";
    files.report.open(files.report_name());
    // An end year before the start year is refused and both years are asked again.
    Io io("9\n7\n1950\n1900\nabc\n1900\n1950\n");
    SelectionOutcome o = select_series(io.console, files, t);
    files.report.close();

    EXPECT_EQ(o.choice, 7);
    EXPECT_EQ(o.value1, 1900);
    EXPECT_EQ(o.value2, 1950);
    EXPECT_EQ(o.saved_file, "site_comm=1900-1950.txt");
    EXPECT_TRUE(std::filesystem::exists("site_comm=1900-1950.txt"));
    EXPECT_EQ(ids_of(t), (std::vector<std::string>{"LONG", "MID"}));
    EXPECT_EQ(o.latest.median(), 51);

    const std::string out = io.out.str();
    EXPECT_TRUE(contains_line(out, " Keep series over a COMMON PERIOD only       7   ==> "));
    EXPECT_NE(out.find(" All series processed as read in            <1>\n"), std::string::npos);
    EXPECT_NE(out.find(" The common end year must not be before the common start year."), std::string::npos);
    // The end-year question follows the start-year answer without an empty line (the answers
    // themselves are not echoed on a string stream).
    EXPECT_NE(out.find("\n Enter the common start year                     ==> "
                       " Enter the common end year                       ==> "),
              std::string::npos);
    EXPECT_TRUE(contains_line(out, " CENSORED DATA SET              MIN   25%   MED   75%   MAX"));

    const auto report = lines_of(read_file("site_out_v45_v2b.txt"));
    const std::vector<std::string> expected = {
        " ORIGINAL DATA SET              MIN   25%   MED   75%   MAX",
        " SEGMENT LENGTH STATISTICS:      81    85    90   115   141",
        " SERIES .GE. SEGMENT LENGTH:      1     2     2     1     1",
        "",
        "DATA ARE CENSORED BY COMMON START AND END YEARS:  1900  1950",
        " CENSORED DATA SET              MIN   25%   MED   75%   MAX",
        " SEGMENT LENGTH STATISTICS:      51    51    51    51    51",
        " SERIES .GE. SEGMENT LENGTH:      2     2     2     2     2",
    };
    EXPECT_EQ(report, expected);
}

TEST_F(SelectionMenu, ChoicesThatFindNothingWarnAndShowTheMenuAgain) {
    SeriesTable t = make_table({{"A", 1850, 1990}, {"B", 1901, 1990}});
    OutputFiles files;
    files.data_name = "site.rwl";
    // Start year 1700: nobody starts that early. Length 500: nobody is that long. Then keep all.
    Io io(" 3\n1700\n\n2\n500\n\n\n");
    SelectionOutcome o = select_series(io.console, files, t);
    EXPECT_EQ(o.choice, 1);
    EXPECT_EQ(t.count(), 2);
    EXPECT_TRUE(o.saved_file.empty());
    const std::string out = io.out.str();
    EXPECT_TRUE(contains_line(out, " *** Warning: No series were found that start ON or BEFORE  1700"));
    EXPECT_NE(out.find("No series left"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("site_mnsl=500.txt"));
}

TEST_F(SelectionMenu, SlashStopsWithoutMessage) {
    SeriesTable t = make_table({{"A", 1850, 1990}});
    OutputFiles files;
    files.data_name = "site.rwl";
    Io io("/\n");
    try {
        select_series(io.console, files, t);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Normal);
        EXPECT_STREQ(stop.what(), "");
    }
}
