// Loading data files: the bundled real files, the column readers, the menus, hostile input.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"
#include "io/tucson.hpp"

using namespace kestrovan;

namespace {

struct Io {
    explicit Io(const std::string& answers = "") : in(answers) {}
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
};

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Loaded {
    bool ok = false;
    SeriesTable table;
    std::array<std::string, 3> header;
    std::string shown;
};

Loaded load(const std::string& content, const std::string& answers) {
    Loaded r;
    Io io(answers);
    std::istringstream file(content);
    r.ok = loaddat(io.console, file, r.table, r.header);
    r.shown = io.out.str();
    return r;
}

// The multiple-column example of the help text, as a user would save it.
std::string help_example(int which) {
    std::istringstream none;
    // Show example 4 of the help menu, then leave it; the example lines are at column 2.
    Io help("4\n\n\n0\n");
    dathlp(help.console, none);
    std::istringstream shown(help.out.str());
    std::string line, file;
    bool in = false;
    const std::string start = which == 1 ? " Example 1:" : " Example 2:";
    while (std::getline(shown, line)) {
        if (line.rfind(start, 0) == 0) {
            in = true;
            continue;
        }
        if (in && (line.find("<Hit Return") != std::string::npos || line.find("und so") != std::string::npos))
            break;
        if (in) file += line.substr(1) + "\n";
    }
    return file;
}

std::string ring_line(const std::string& id, int year, const std::string& values) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%-8s%4d", id.c_str(), year);
    return buf + values + "\n";
}

}  // namespace

TEST(LoadBundledFiles, SeriesCountsAndSpans) {
    struct Expect {
        const char* name;
        int ns, first, last, span;
        const char* title;
    } files[] = {{"ca533.rwl", 34, 626, 1983, 1358, "CA533   1 "},
                 {"co021.rwl", 35, 1176, 1963, 788, "CO021   1 "},
                 {"gp.rwl", 58, 1570, 1990, 421, "GPNA    1 "}};
    for (const auto& e : files) {
        std::string text = read_file(std::string(KESTROVAN_DATA_DIR) + "/" + e.name);
        ASSERT_FALSE(text.empty()) << e.name;
        auto r = load(text, "1\n");
        ASSERT_TRUE(r.ok) << r.shown;
        EXPECT_EQ(r.table.count(), e.ns) << e.name;
        EXPECT_EQ(r.table.summary.first, e.first) << e.name;
        EXPECT_EQ(r.table.summary.last, e.last) << e.name;
        EXPECT_EQ(r.table.summary.length, e.span) << e.name;
        EXPECT_EQ(r.shown.find("WARNING"), std::string::npos) << r.shown;
        EXPECT_EQ(r.header[0].substr(0, 10), e.title);
        EXPECT_EQ(r.header[0].size(), 88u);
        // The matrix is sized to the data; cells past a series' end hold -999.
        int longest = 0;
        for (const auto& y : r.table.years) longest = std::max(longest, y.length);
        EXPECT_EQ(r.table.data.rows(), longest);
        EXPECT_EQ(r.table.data.cols(), e.ns);
        for (int s = 0; s < r.table.count(); ++s)
            if (r.table.years[s].length < longest) {
                EXPECT_EQ(r.table.data(r.table.years[s].length, s), kMissing);
            }

        // CRLF and CR-only copies load to the same table.
        for (const char* end : {"\r\n", "\r"}) {
            std::string other;
            for (char c : text) {
                if (c == '\n')
                    other += end;
                else
                    other += c;
            }
            auto o = load(other, "1\n");
            ASSERT_TRUE(o.ok);
            EXPECT_EQ(o.table.ids, r.table.ids);
            EXPECT_EQ(o.table.summary.length, r.table.summary.length);
            for (int s = 0; s < r.table.count(); ++s)
                for (int k = 0; k < r.table.years[s].length; ++k)
                    ASSERT_EQ(o.table.data(k, s), r.table.data(k, s));
        }
    }
    // Spot values of gp.rwl: 01A starts in 1640 with 67 hundredths; zero rings are data.
    auto gp = load(read_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl"), "1\n");
    EXPECT_EQ(gp.table.ids[0], "01A     ");
    EXPECT_EQ(gp.table.years[0].first, 1640);
    EXPECT_FLOAT_EQ(gp.table.data(0, 0), 0.67f);
    EXPECT_EQ(gp.table.data(30, 0), 0.0f);
}

TEST(LoadTucson, HeaderLinesMissingAndFatalError) {
    auto r = load(ring_line("S01", 1900, "   100   200   999"), "1\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.header[0], "1st itrdb line missing" + std::string(36, ' ') + "1st itrdb line missing" +
                               std::string(8, ' '));
    EXPECT_EQ(r.header[2].substr(58, 22), "3rd itrdb line missing");
    EXPECT_NE(r.shown.find("\n Input data read successfully\n"), std::string::npos);

    // A series that yields no values before the end of the file is a fatal read error.
    auto bad = load(ring_line("S01", 1900, "   999") + ring_line("S02", 1900, "   100   999"), "1\n\n");
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.shown.find("\n WARNING: Fatal error reading data from input file.\n"
                             "          Suggest checking file format and/or file type\n"
                             "          Unix/Dos/Mac?\n"
                             "          (series S01 at line 1 has no values)\n"
                             " Hit Return to Continue\n"),
              std::string::npos)
        << bad.shown;

    // Chronologies: sample counts dropped; a chronology without values never enters the table.
    auto c = load("tst1a.19501000 381100 389990  0\ntst1c.19601000 389990  0\n", "2\n");
    ASSERT_TRUE(c.ok) << c.shown;
    EXPECT_EQ(c.table.count(), 2);
    EXPECT_EQ(c.table.years[0].length, 2);
    auto empty = load("tst1a.19501000 381100 389990  0\ntst1b.19509990  0\n", "2\n\n");
    EXPECT_FALSE(empty.ok);
    EXPECT_NE(empty.shown.find("Line 2: chronology tst1b. holds no values on its first line"),
              std::string::npos);
}

TEST(LoadTucson, HostileFilesEndWithAMessage) {
    const std::string fail = "Input data not read in successfully";
    // Blank, only header lines, only garbage: no series at all.
    for (const std::string& text : {std::string(), std::string("\n\n   \n"),
                                    std::string("TITLE   1 only a title\nTITLE   2 and more\n"),
                                    std::string("this is not a tree-ring file at all\nnor is this line\n")}) {
        for (const char* kind : {"1\n\n\n", "2\n\n\n"}) {
            auto r = load(text, kind);
            EXPECT_FALSE(r.ok) << kind << text;
            EXPECT_EQ(r.table.count(), 0);
        }
    }
    // Binary bytes, including NULs and a long line without a line end.
    std::string binary;
    for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 7919) % 256);
    auto b = load(binary, "1\n\n\n");
    EXPECT_FALSE(b.ok);
    EXPECT_FALSE(load(binary, "2\n\n\n").ok);
    std::string garbage;
    for (int i = 0; i < 60; ++i) garbage += "no data on this line, nor on the next one\n";
    EXPECT_FALSE(load(garbage, "2\n\n\n").ok);
    for (char c : b.shown) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);

    // A file cut in the middle of a series: refused, naming the last line read.
    std::string gp = read_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl");
    auto t = load(gp.substr(0, gp.size() / 2 + 17), "1\n\n");
    EXPECT_FALSE(t.ok);
    EXPECT_NE(t.shown.find("The file ends after line 858, inside series 28A"), std::string::npos) << t.shown;

    // Over the limits: 4501 series, a span of more than 5000 years.
    std::string many;
    for (int i = 0; i < 4501; ++i) many += ring_line("S" + std::to_string(i), 1900, "   100   999");
    auto m = load(many, "1\n\n");
    EXPECT_FALSE(m.ok);
    EXPECT_NE(m.shown.find("more than 4500 series"), std::string::npos);
    EXPECT_NE(m.shown.find(fail), std::string::npos);
    auto span = load("OLD    -3000   100   999\n" + ring_line("NEW", 2000, "   100   999"), "1\n\n");
    EXPECT_FALSE(span.ok);
    EXPECT_NE(span.shown.find("span 5001 years"), std::string::npos) << span.shown;
}

TEST(LoadColumns, SingleColumnBlocks) {
    const std::string text =
        "abscdef\n1771\n0.1\n0.2\n0.3\nbbscdef\n1772\n0.4\n0.5\n0.6\ncbscdef\n1773\n0.7\n0.8\n0.9\n";
    auto r = load(text, "3\n0\n");
    ASSERT_TRUE(r.ok) << r.shown;
    EXPECT_EQ(r.table.count(), 3);
    EXPECT_EQ(r.table.summary.first, 1771);
    EXPECT_EQ(r.table.summary.last, 1775);
    EXPECT_EQ(r.table.ids[2], "cbscdef ");
    EXPECT_FLOAT_EQ(r.table.data(2, 1), 0.6f);

    // Header lines skipped; a year that is not a number names the series and its number.
    auto bad = load("header\nabc\nxyz\n0.1\n", "3\n1\n\n\n");
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(
        bad.shown.find(" Rd1col: Error reading series IYR value\n        Series: abc      Number:     1\n"),
        std::string::npos)
        << bad.shown;
    // Too many values in one block.
    std::string longblock = "long\n1000\n";
    for (int i = 0; i < 5001; ++i) longblock += "1.0\n";
    auto l = load(longblock, "3\n0\n\n");
    EXPECT_FALSE(l.ok);
    EXPECT_NE(l.shown.find("more than 5000 values"), std::string::npos);
}

TEST(LoadColumns, MultipleColumnsFromTheHelpExamples) {
    auto r = load(help_example(2), "4\n0\n6\n-9.9\n");
    ASSERT_TRUE(r.ok) << r.shown;
    ASSERT_EQ(r.table.count(), 5);
    EXPECT_EQ(r.table.ids[0], "HKTC01A ");
    EXPECT_EQ(r.table.years[0].first, 1945);
    EXPECT_EQ(r.table.years[2].first, 1941);
    EXPECT_EQ(r.table.years[1].last, 1951);
    EXPECT_NE(r.shown.find(" Enter the total number of columns in your file\n"
                           " [Program assumes Col_1 contains the X values] : \n"
                           " Enter the sentinal value or character used to \n"
                           " pad the records [can not be spaces, if ******* enter *] : "),
              std::string::npos)
        << r.shown;

    auto stars = load(help_example(1), "4\n0\n6\n*\n");
    ASSERT_TRUE(stars.ok) << stars.shown;
    EXPECT_EQ(stars.table.count(), 5);
    EXPECT_EQ(stars.table.years[0].first, 1946);

    // A sentinel inside a series would move later values to wrong years: refused.
    auto gap = load("year a b\n1900 1.0 2.0\n1901 -9.9 2.0\n1902 1.0 2.0\n", "4\n0\n3\n-9.9\n\n");
    EXPECT_FALSE(gap.ok);
    EXPECT_NE(gap.shown.find("Series a has a gap"), std::string::npos) << gap.shown;
    // Wrong sentinel, short lines, a missing year line.
    auto wrong = load(help_example(1), "4\n0\n6\n-9.9\n\n");
    EXPECT_NE(wrong.shown.find(" Error reading y values check sentinel if ******* enter *"),
              std::string::npos);
    auto shortline = load("year a b\n1900 1.0\n", "4\n0\n3\nx\n\n");
    EXPECT_FALSE(shortline.ok);
    auto skip = load("year a\n1900 1.0\n1902 1.0\n", "4\n0\n2\nx\n\n");
    EXPECT_FALSE(skip.ok);
    EXPECT_NE(skip.shown.find("year 1902 where 1901 was due"), std::string::npos);
    // Wide files: a thousand series on lines of thousands of characters; too many columns.
    std::string names = "year", row1 = "1900", row2 = "1901";
    for (int k = 0; k < 1000; ++k) {
        names += " s" + std::to_string(k);
        row1 += " 12.345";
        row2 += " 0.5";
    }
    auto many = load(names + "\n" + row1 + "\n" + row2 + "\n", "4\n0\n1001\nx\n");
    ASSERT_TRUE(many.ok) << many.shown.substr(0, 2000);
    EXPECT_EQ(many.table.count(), 1000);
    EXPECT_FLOAT_EQ(many.table.data(1, 999), 0.5f);
    auto over = load("year a\n1900 1\n", "4\n0\n4502\n\n");
    EXPECT_FALSE(over.ok);
    EXPECT_NE(over.shown.find("more than 4500 series"), std::string::npos);
    // Numbers longer than 8 characters keep all their digits.
    auto wide = load("year a\n1900 1.23456789\n", "4\n0\n2\nx\n");
    ASSERT_TRUE(wide.ok);
    EXPECT_FLOAT_EQ(wide.table.data(0, 0), 1.23456789f);
}

TEST(LoadMenu, QuitOtherNumbersHelpAndViewer) {
    Io io("Q\n");
    std::istringstream file("x\n");
    SeriesTable t;
    std::array<std::string, 3> h;
    try {
        loaddat(io.console, file, t, h);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Normal);
        EXPECT_STREQ(stop.what(), "");
    }
    EXPECT_NE(io.out.str().find("\n                  __ Input Data Format Menu __\n"
                                "                  _____________________________\n\n"
                                "                  Raw ring-widths (Decade)  [1]\n"),
              std::string::npos);
    EXPECT_NE(io.out.str().find("\n Enter a value between [0-9] or [Q]uit           ==> "),
              std::string::npos);

    // 17 is refused at once (no header-lines question), the menu comes again, and the Tucson read
    // that follows starts at the top of the file.
    auto r = load("skipped line\n" + ring_line("S01", 1900, "   100   999"), "17\n\n1\n");
    ASSERT_TRUE(r.ok) << r.shown;
    EXPECT_EQ(r.shown.find("Enter number of file header lines to skip"), std::string::npos);
    EXPECT_NE(r.shown.find("\n There is no file kind 17: enter a value between 0 and 9.\n"
                           "             Hit RETURN to Continue\n"),
              std::string::npos);
    EXPECT_NE(r.shown.find("title of data:\n skipped line\n"), std::string::npos);

    // 0 opens help; H pages the data file; 0 returns, and the load reads from the top.
    std::string lines;
    for (int i = 1; i <= 7; ++i) lines += ring_line("S0" + std::to_string(i), 1900, "   100   999");
    auto h2 = load(lines, "0\nH\ne\n\nm\n0\n1\n");
    ASSERT_TRUE(h2.ok) << h2.shown;
    EXPECT_EQ(h2.table.count(), 7);
    EXPECT_NE(h2.shown.find(" snooping in the data file (first 100 characters/line):\n"
                            "         .........1.........2"),
              std::string::npos);
    EXPECT_NE(h2.shown.find("\n       1 S01     1900   100   999\n"), std::string::npos);
    EXPECT_NE(h2.shown.find(" last 5 lines in file (first 80 characters):"), std::string::npos);
    EXPECT_NE(h2.shown.find("\n       7 S07     1900   100   999\n"), std::string::npos);
    EXPECT_NE(h2.shown.find(" end-of-snoop:     7 lines read\n"), std::string::npos);
}

TEST(LoadMenu, ViewerShortFileAndUppercaseAnswers) {
    Io io("M\n");
    std::istringstream file("line one\nline two\nline three\n");
    snoop(io.console, file);
    const std::string shown = io.out.str();
    EXPECT_NE(shown.find("\n       3 line three\n"), std::string::npos);
    EXPECT_NE(shown.find(" end-of-snoop:     3 lines read\n\n more <ret> or return to main program <m> "),
              std::string::npos);
    std::string first;
    std::getline(file, first);
    EXPECT_EQ(first, "line one");  // rewound

    // The help examples each end with the closing line and a pause; 9 is answered with a message.
    Io help("1\n\n2\n\n3\n\n9\n0\n");
    std::istringstream none;
    dathlp(help.console, none);
    const std::string h = help.out.str();
    EXPECT_NE(h.find(" HBM01A  2000   178    62   236 -9999\n"), std::string::npos);
    EXPECT_NE(h.find(" HBM01B  1790   156 -9999\n"), std::string::npos);
    EXPECT_NE(
        h.find(" tst1a.1950 356 38 439 38 276 38 132 38 424 38 423 38 258 38 295 38 379 38 382 38  raw\n"),
        std::string::npos);
    EXPECT_NE(h.find("\n You must enter a value between 0 and 4\n\n"), std::string::npos);
    EXPECT_NE(h.find(" Enter a value between  [0-4]       : "), std::string::npos);
}
