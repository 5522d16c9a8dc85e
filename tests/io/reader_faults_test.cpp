// Inputs that once loaded with values lost, shifted or given to another series, and answers that
// left the user at a dead end, all built from the bundled files and run through the loading
// dialogue: every load reads exactly what the Tucson original holds, or is refused with a message
// naming the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "reader_files.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using namespace kestrovan::testing;

namespace {

// Every series of `got` has the identifier, years and values of the same series of `want`.
void expect_same_series(const SeriesTable& got, const SeriesTable& want, float tolerance) {
    ASSERT_EQ(got.count(), want.count());
    for (int s = 0; s < want.count(); ++s) {
        const auto i = static_cast<std::size_t>(s);
        ASSERT_EQ(rtrim(got.ids[i]), rtrim(want.ids[i])) << s;
        ASSERT_EQ(got.years[i].first, want.years[i].first) << want.ids[i];
        ASSERT_EQ(got.years[i].length, want.years[i].length) << want.ids[i];
        for (int k = 0; k < want.years[i].length; ++k)
            ASSERT_NEAR(got.data(k, s), want.data(k, s), tolerance)
                << want.ids[i] << " year " << want.years[i].first + k;
    }
    EXPECT_EQ(got.summary.first, want.summary.first);
    EXPECT_EQ(got.summary.last, want.summary.last);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    return text;
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// gp.rwl with line `number` (counted from 1) replaced.
std::string gp_with_line(int number, const std::string& line) {
    auto lines = split_lines(bundled("gp.rwl"));
    lines[static_cast<std::size_t>(number - 1)] = line;
    return joined(lines);
}

}  // namespace

// Single-column files whose identifiers are all digits (co021) load as the Tucson original; a
// file whose values carry no decimal point cannot be told apart and is refused at the line.
TEST(SingleColumnFiles, IdentifiersOfDigitsStartNewSeries) {
    const SeriesTable co021 = tucson_original("co021.rwl");
    ASSERT_EQ(rtrim(co021.ids[1]), "641121");
    const auto r = load(single_column(co021), "3\n0\n");
    ASSERT_TRUE(r.ok) << r.shown.substr(0, 3000);
    expect_same_series(r.table, co021, 1e-6f);
    EXPECT_NE(r.shown.find(
                  "WARNING: Line 697: 641121 is taken as the identifier of a new series (first year 1250), "
                  "not as a ring width of 641114."),
              std::string::npos)
        << r.shown.substr(0, 3000);
    EXPECT_NE(
        r.shown.find("WARNING: 34 identifiers made of digits only were taken as the starts of new series."),
        std::string::npos);

    // The same blocks in hundredths (no decimal points): the identifier reads as a width of 641121 mm.
    std::string hundredths;
    for (const auto& line : split_lines(single_column(co021))) {
        std::string l = line;
        if (const auto dot = l.find('.'); dot != std::string::npos)
            l = std::to_string(std::stoi(l.erase(dot, 1)));
        hundredths += l + "\n";
    }
    const auto h = load(hundredths, "3\n0\n\n");
    EXPECT_FALSE(h.ok);
    EXPECT_NE(h.shown.find("Line 3: the value 148 of series 641114 for 1270 is not a ring width in "
                           "millimetres (100 or more)."),
              std::string::npos)
        << h.shown.substr(0, 2000);
}

// A refused file kind drops the answers given for it: the load that follows reads the file from
// its start (gp's header lines and the first rings of 01A included).
TEST(FormatMenu, RefusedKindAndBlankAnswersLoseNothing) {
    const SeriesTable gp = tucson_original("gp.rwl");
    const auto r = load(bundled("gp.rwl"), "17\n15\n\n\n1\n");
    ASSERT_TRUE(r.ok) << r.shown;
    expect_same_series(r.table, gp, 0.0f);
    EXPECT_EQ(r.header[0].substr(0, 10), "GPNA    1 ");
    EXPECT_EQ(r.shown.find("Enter number of file header lines to skip"), std::string::npos);
    // The bare RETURNs show the prompt again (three prompts after the refused kind's menu).
    EXPECT_EQ(count_of(r.shown, "Enter a value between [0-9] or [Q]uit"), 4u);

    // A column file read after a help visit and a refused kind still starts at line 1.
    const auto c = load(single_column(gp), "0\n0\n19\n\n3\n\n0\n");
    ASSERT_TRUE(c.ok) << c.shown;
    expect_same_series(c.table, gp, 1e-6f);
    EXPECT_EQ(count_of(c.shown, "Enter number of file header lines to skip"), 2u);
}

TEST(FormatMenu, TextAnswersHelpQuitAndReasons) {
    const std::string gp = bundled("gp.rwl");
    const auto r = load(gp, "abc\n1 0\n3x\nh\n0\n?\n0\n1\n");
    ASSERT_TRUE(r.ok) << r.shown;
    EXPECT_NE(r.shown.find("\n \"abc\" is not one of the options: enter a value between 0 and 9, H for help "
                           "or Q to quit.\n"),
              std::string::npos);
    EXPECT_NE(r.shown.find("\n Enter one number only: \"1 0\" holds more than one.\n"), std::string::npos);
    EXPECT_NE(r.shown.find("\n \"3x\" is not a number.\n"), std::string::npos);
    EXPECT_EQ(count_of(r.shown, "Select a file type to see an example."), 2u);
    EXPECT_EQ(count_of(r.shown, "__ Input Data Format Menu __"), 6u);  // refusals and help show it again

    for (const char* quit : {"Q\n", "q\n", "quit\n", "/\n", "1 0\n/\n"}) {
        const auto q = load(gp, quit);
        EXPECT_TRUE(q.stopped) << quit;
    }
    // Header lines: a blank answer asks again, a negative or mixed one gets its reason; "/" stops.
    const auto hl = load(single_column(tucson_original("gp.rwl")), "3\n\n-1\n2x\n0\n");
    ASSERT_TRUE(hl.ok);
    EXPECT_EQ(count_of(hl.shown, "Enter number of file header lines to skip"), 4u);
    EXPECT_NE(hl.shown.find("\n The number of header lines cannot be negative.\n"), std::string::npos);
    // "/" also stops at the number of columns, in the help menu and in the file viewer.
    for (const char* stop : {"3\n/\n", "4\n0\n/\n", "0\n/\n", "0\nH\n/\n"})
        EXPECT_TRUE(load(bundled("gp.rwl"), stop).stopped) << stop;
    const auto columns = load(multiple_columns(tucson_original("gp.rwl"), "-9.9"), "4\n0\n59x\n59\n-9.9\n");
    ASSERT_TRUE(columns.ok);
    EXPECT_NE(columns.shown.find("\n \"59x\" is not a number.\n"), std::string::npos);
}

// A chronology whose first lines carry the decade year with 9990 fill pairs before the first
// value reads every value at its year; no reader lets a series without values into the table.
TEST(Chronologies, DecadeLabelledFirstLinesAndNoEmptySeries) {
    const SeriesTable gp = tucson_original("gp.rwl");
    for (bool decade : {false, true}) {
        const std::string text = chronologies(gp, decade);
        if (decade) {
            ASSERT_NE(text.find("01B   16509990  09990  09990  0 720  1 530  2"), std::string::npos);
        }
        const auto r = load(text, "2\n");
        ASSERT_TRUE(r.ok) << r.shown.substr(0, 2000);
        expect_same_series(r.table, gp, 1e-6f);
    }
    const auto bank = load(
        "abc   19509990  09990  09990  01000  5 500  61250  7 750  81100  9 900 101050 11\n"
        "abc   19601000 119990  0\n",
        "2\n");
    ASSERT_TRUE(bank.ok) << bank.shown;
    EXPECT_EQ(bank.table.years[0].first, 1953);
    EXPECT_EQ(bank.table.years[0].length, 8);  // 1953 to 1960
    EXPECT_FLOAT_EQ(bank.table.data(2, 0), 1.25f);

    const std::string no_values[] = {"3\n0\n", "4\n0\n3\n-9.9\n"};
    const auto one = load("a\n1900\nb\n1900\n0.5\n", no_values[0] + "\n");
    EXPECT_FALSE(one.ok);
    EXPECT_NE(one.shown.find("Series a (line 1) has no values."), std::string::npos) << one.shown;
    const auto many = load("year a b\n1900 -9.9 0.5\n", no_values[1] + "\n");
    EXPECT_FALSE(many.ok);
    EXPECT_NE(
        many.shown.find("Series a (column 2 of the naming line, line 1) has no values (only the sentinel)."),
        std::string::npos);
}

// A UTF-8 byte-order mark before the first line is passed over in every file kind.
TEST(ByteOrderMark, IgnoredAtTheStartOfEveryFileKind) {
    const std::string bom = "\xEF\xBB\xBF";
    const SeriesTable gp = tucson_original("gp.rwl");
    std::string gp_text = bundled("gp.rwl");
    const auto with_header = load(bom + gp_text, "1\n");
    ASSERT_TRUE(with_header.ok);
    expect_same_series(with_header.table, gp, 0.0f);
    EXPECT_EQ(with_header.header[0].substr(0, 10), "GPNA    1 ");
    const auto bare = load(bom + gp_text.substr(gp_text.find("01A ")), "1\n");
    ASSERT_TRUE(bare.ok);
    expect_same_series(bare.table, gp, 0.0f);
    const auto single = load(bom + single_column(gp), "3\n0\n");
    ASSERT_TRUE(single.ok);
    expect_same_series(single.table, gp, 1e-6f);
    const auto columns = load(bom + multiple_columns(gp, "-9.9"), "4\n0\n59\n-9.9\n");
    ASSERT_TRUE(columns.ok) << columns.shown.substr(0, 2000);
    expect_same_series(columns.table, gp, 1e-6f);
    const auto chron = load(bom + chronologies(gp, false), "2\n");
    ASSERT_TRUE(chron.ok);
    expect_same_series(chron.table, gp, 1e-6f);
}

// A lost decade line, or a line of 01A that cannot be read (a tab in the wrong place, "nan",
// "1.50", "0x1f"), is refused naming the line; a tab standing for one blank reads as that blank.
// Identifiers met twice are warned about.
TEST(TucsonRingWidths, LostOrDamagedLinesAreRefusedNeverShifted) {
    const SeriesTable gp = tucson_original("gp.rwl");
    auto lines = split_lines(bundled("gp.rwl"));
    ASSERT_EQ(lines[9].substr(0, 12), "01A     1700");
    auto lost = lines;
    lost.erase(lost.begin() + 9);
    const auto r = load(joined(lost), "1\n\n");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.shown.find("Series 01A has no line for the decade 1700 (line 10 holds 1710)."),
              std::string::npos)
        << r.shown;

    const std::string line1670 = lines[6];
    ASSERT_EQ(line1670.substr(0, 24), "01A     1670     0    26");
    for (const std::string& field :
         {std::string("\t    26"), std::string("   nan"), std::string("  1.50"), std::string("  0x1f")}) {
        std::string damaged = line1670;
        damaged.replace(18, 6, field);
        const auto d = load(gp_with_line(7, damaged), "1\n\n");
        EXPECT_FALSE(d.ok) << field;
        EXPECT_NE(d.shown.find("Line 7 cannot be read as a decade line of series 01A:"), std::string::npos)
            << d.shown;
    }
    // A first line whose year does not match its number of values, a value moved to the left of
    // its field, and a number running on past the last field, are refused; none is read shifted.
    const int line01b =
        static_cast<int>(std::find_if(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.rfind("01B     1653", 0) == 0; }) -
                         lines.begin()) +
        1;
    const std::string first01b = lines[static_cast<std::size_t>(line01b - 1)];
    struct Damage {
        int line;
        std::string text, message;
    } damages[] = {
        {line01b, std::string(first01b).replace(8, 4, "1654"),
         "of series 01B holds more values than the years 1654 to 1659 its year leaves room for."},
        {line01b, std::string(first01b).replace(8, 4, "1652"),
         "of series 01B ends before its value for 1659"},
        {7, std::string(line1670).replace(18, 6, "26    "),
         "Line 7 cannot be read as a decade line of series 01A:"},
        {7, line1670 + "1", "Line 7 of series 01A: the number in its last field runs on into column 73"},
    };
    for (const auto& d : damages) {
        const auto r2 = load(gp_with_line(d.line, d.text), "1\n\n");
        EXPECT_FALSE(r2.ok) << d.text;
        EXPECT_NE(r2.shown.find(d.message), std::string::npos) << r2.shown;
    }

    std::string tabbed = line1670;
    tabbed[18] = '\t';
    const auto t = load(gp_with_line(7, tabbed), "1\n");
    ASSERT_TRUE(t.ok) << t.shown;
    expect_same_series(t.table, gp, 0.0f);

    auto twice = lines;
    for (auto& l : twice)
        if (l.rfind("01B ", 0) == 0) l.replace(0, 3, "01A");
    const auto dup = load(joined(twice), "1\n");
    ASSERT_TRUE(dup.ok);
    EXPECT_NE(dup.shown.find("WARNING: more than one series carries the same identifier:\n"
                             "         01A (lines 4 and "),
              std::string::npos)
        << dup.shown;
}

// A damaged first line of a series (a bad value, or tab-separated fields that do not line up) is
// refused naming the line, at the top of the file and after other series alike: never taken for
// a title line, which would drop the series or its first decade.
TEST(TucsonRingWidths, DamagedFirstLinesAreRefusedNotTakenForTitles) {
    const auto lines = split_lines(bundled("gp.rwl"));
    const auto first_of = [&](const std::string& head) {
        return static_cast<int>(std::find_if(lines.begin(), lines.end(),
                                             [&](const std::string& l) { return l.rfind(head, 0) == 0; }) -
                                lines.begin()) +
               1;
    };
    for (const int number : {first_of("01A     1640"), first_of("01B     1653")}) {
        const std::string line = lines[static_cast<std::size_t>(number - 1)];
        std::string tabbed;
        for (const char c : line) {
            if (c != ' ')
                tabbed += c;
            else if (!tabbed.empty() && tabbed.back() != '\t')
                tabbed += '\t';
        }
        for (const std::string& damaged :
             {std::string(line).replace(18, 6, "     ."), std::string(line).replace(18, 6, "   7x9"),
              std::string(line).replace(18, 6, "   7.9"), tabbed}) {
            const auto r = load(gp_with_line(number, damaged), "1\n\n");
            EXPECT_FALSE(r.ok) << damaged;
            EXPECT_NE(
                r.shown.find("Line " + std::to_string(number) + " starts like the first line of a series ("),
                std::string::npos)
                << r.shown.substr(0, 2000);
        }
    }
    const auto one_line =
        load("SITE    1 A title line\nONE     1955   100     .   300   400   999\n", "1\n\n");
    EXPECT_FALSE(one_line.ok);
    EXPECT_NE(one_line.shown.find("Line 2 starts like the first line of a series (ONE, year 1955)"),
              std::string::npos)
        << one_line.shown;
}

// Ring widths of 100 mm or more are refused naming the line, in the unit the end marker gives.
TEST(TucsonRingWidths, WidthsOfHundredMillimetresAreRefusedAtTheLine) {
    const std::string line1670 = split_lines(bundled("gp.rwl"))[6];
    for (const char* huge : {" 15000", "999999"}) {
        const auto r = load(gp_with_line(7, std::string(line1670).replace(18, 6, huge)), "1\n\n");
        EXPECT_FALSE(r.ok) << huge;
        EXPECT_NE(r.shown.find("Line 7: the value " + std::string(huge + (huge[0] == ' ')) +
                               " of series 01A for 1671 is not a ring width in millimetres"),
                  std::string::npos)
            << r.shown.substr(0, 2000);
    }
    // 15000 thousandths are 15 mm.
    const auto fine = load("THOU    1950 15000   100 -9999\n", "1\n");
    ASSERT_TRUE(fine.ok) << fine.shown;
    EXPECT_FLOAT_EQ(fine.table.data(0, 0), 15.0f);
    EXPECT_FALSE(load("THOU    1950 15000   100 -9999\nWIDE    1950   100100000 -9999\n", "1\n\n").ok);
}

// Values no width can have, and years no file of the program can hold, are refused at load
// naming the series, the year and the line.
TEST(ColumnReaders, AbsurdValuesAndYearsAreRefusedAtTheLine) {
    SeriesTable gp = tucson_original("gp.rwl");
    const std::string single = single_column(gp);
    ASSERT_EQ(single.substr(0, 15), "01A\n1640\n0.67\n0");
    for (const char* huge : {"1e39", "1e38", "99999999", "100"}) {
        std::string text = single;
        text.replace(9, 4, huge);
        const auto r = load(text, "3\n0\n\n");
        EXPECT_FALSE(r.ok) << huge;
        EXPECT_NE(r.shown.find(std::string("Line 3: the value ") + huge +
                               " of series 01A for 1640 is not a ring width"),
                  std::string::npos)
            << r.shown.substr(0, 1500);
        std::string columns = multiple_columns(gp, "-9.9");
        const std::size_t row1640 = columns.find("\n1640 ") + 6;
        ASSERT_EQ(columns.substr(row1640, 5), "0.67 ");
        columns.replace(row1640, 4, huge);
        const auto m = load(columns, "4\n0\n59\n-9.9\n\n");
        EXPECT_FALSE(m.ok) << huge;
        EXPECT_NE(m.shown.find("(line 72, series 01A, year 1640: not a number, or not a ring width"),
                  std::string::npos)
            << m.shown.substr(0, 1500);
    }
    const auto late = load("late\n10000\n0.5\n", "3\n0\n\n");
    EXPECT_NE(
        late.shown.find("Line 2: the first year 10000 of series late lies outside the years -99999 to 9999"),
        std::string::npos);
    const auto early = load("year a\n-100000 0.5\n", "4\n0\n2\nx\n\n");
    EXPECT_NE(early.shown.find("(line 2, series a: the year is not a whole number from -99999 to 9999)"),
              std::string::npos);
    const auto tucson = load(
        "LATE    9990   100   100   100   100   100   100   100   100   100   100\n"
        "LATE    10000  100   999\n",
        "1\n\n");
    EXPECT_FALSE(tucson.ok);
    const auto last = load("LATE    9995   100   100   100   100   100\nLATE    9999   100   999\n", "1\n\n");
    EXPECT_FALSE(last.ok);
}

// A format-described block whose last line is cut off is refused naming the series and line.
TEST(FormatDescribedBlocks, CutOffLineIsRefused) {
    std::string hash_line(79, ' ');
    hash_line.replace(0, 6, "BLK01 ");
    hash_line += "#";
    const std::string block =
        hash_line + "\nn        7      1850  (5f6.2)\n  1.25  2.50  3.75  4.00  1.00\n  0.10  0.2\n";
    const auto r = load(block + "S01     1900   100   999\n", "1\n\n");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.shown.find("(series BLK01, line 4 ends before the value 7 of 7: the line is cut off)"),
              std::string::npos)
        << r.shown;
    const auto whole = load(block.substr(0, block.size() - 1) + "0\nS01     1900   100   999\n", "1\n");
    ASSERT_TRUE(whole.ok) << whole.shown;
    EXPECT_FLOAT_EQ(whole.table.data(6, 0), 0.2f);
}

// The viewer numbers lines above 999 in full, and counts them in full.
TEST(FileViewer, LineNumbersAboveNineHundredNinetyNine) {
    std::istringstream in("e\nm\n");
    std::ostringstream out;
    Console console(in, out);
    std::istringstream file(bundled("gp.rwl"));
    snoop(console, file);
    EXPECT_NE(out.str().find("\n    1722 39B     1990    28   999\n"), std::string::npos);
    EXPECT_EQ(out.str().find("***"), std::string::npos);
    EXPECT_NE(out.str().find(" end-of-snoop:  1722 lines read"), std::string::npos);

    // A count of 100,000 lines or more widens its field too.
    std::istringstream in2("e\nm\n");
    std::ostringstream out2;
    Console console2(in2, out2);
    std::string many;
    for (int i = 0; i < 120000; ++i) many += "x\n";
    std::istringstream long_file(many);
    snoop(console2, long_file);
    EXPECT_NE(out2.str().find(" end-of-snoop: 120000 lines read"), std::string::npos);
    EXPECT_EQ(out2.str().find("***"), std::string::npos);
}
