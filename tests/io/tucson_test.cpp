// Tucson decade files: write/read round trips, line layouts, reader edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"
#include "io/text_lines.hpp"
#include "io/tucson.hpp"
#include "model/year_matrix.hpp"

using namespace kestrovan;

namespace {

struct Io {
    explicit Io(const std::string& answers = "") : in(answers) {}
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream s(text);
    std::string l;
    while (std::getline(s, l)) lines.push_back(l);
    return lines;
}

// Reads every series of a text in the given mode, printing what each call noted.
std::vector<TucsonSeries> read_all(const std::string& text, const char* mode, Io& io,
                                   TucsonReadState* state_out = nullptr) {
    std::istringstream file(text);
    TucsonReadState state;
    std::vector<TucsonSeries> all;
    for (int guard = 0; guard < 10000; ++guard) {
        TucsonSeries s;
        trrw(file, mode, s, state);
        print_load_notes(io.console, state.notes);
        state.notes = {};
        if (s.count == kEndOfFile) break;
        all.push_back(s);
        if (state.failed) break;
    }
    if (state_out) *state_out = state;
    return all;
}

// The count line of a format-described block: count, first year, read format.
std::string count_line(int n, int year, const char* format) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "n %8d  %8d  %-8s\n", n, year, format);
    return buf;
}

std::string write_rings(const std::string& id, int first, const std::vector<float>& v, Io& io,
                        TucsonWriteState* state = nullptr) {
    std::ostringstream out;
    TucsonWriteState local;
    trrw(out, "mw", {.id = id, .first_year = first, .values = v, .label = "stdraw"}, state ? *state : local,
         io.console);
    return out.str();
}

std::string write_chron(const std::string& id, int first, const std::vector<float>& v,
                        const std::vector<int>& n, Io& io, TucsonWriteState* state = nullptr) {
    std::ostringstream out;
    TucsonWriteState local;
    trrw(out, "iw", {.id = id, .first_year = first, .values = v, .samples = n, .label = "stdcrn"},
         state ? *state : local, io.console);
    return out.str();
}

}  // namespace

TEST(TucsonRoundTrip, RingWidthsKeepYearsAndValuesForEveryLayout) {
    // First years covering each first-line length and each year layout, -1000 included.
    const int firsts[] = {1234, 1240, 0, 7, -1, -5, -10, -999, -1000, -1001, -1234, -9999, -10000, -12345};
    for (int first : firsts) {
        std::vector<float> v;
        for (int k = 0; k < 23; ++k)
            v.push_back(k == 3 ? 0.0f : 0.001f * static_cast<float>((k * 137) % 4000) + 0.05f);
        v[5] = 0.999f;  // written as 1000: must not end the series
        Io io;
        std::string text = write_rings("SITE01A", first, v, io) + write_rings("SITE01B", first + 3, v, io);
        auto got = read_all(text, "mr", io);
        ASSERT_EQ(got.size(), 2u) << "first year " << first << "\n" << text;
        for (int s = 0; s < 2; ++s) {
            EXPECT_EQ(got[s].first_year, first + 3 * s) << text;
            ASSERT_EQ(got[s].count, 23) << text;
            for (int k = 0; k < 23; ++k) {
                float want = k == 5 ? 1.0f : v[k];
                EXPECT_NEAR(got[s].values[k], want, 0.0005f) << "first " << first << " k " << k;
            }
        }
        // The identifier survives as far as its layout carries it.
        EXPECT_EQ(got[0].id.substr(0, 6), "SITE01") << text;
        EXPECT_EQ(io.out.str().find("WARNING"), std::string::npos) << io.out.str();
    }
}

TEST(TucsonRoundTrip, ChronologiesKeepYearsValuesAndSampleCounts) {
    const int firsts[] = {1234, 1230, 0, 9, -1, -7, -10, -999, -1000, -1001, -1236, -9999, -10000, -10003};
    for (int first : firsts) {
        std::vector<float> v;
        std::vector<int> n;
        for (int k = 0; k < 27; ++k) {
            v.push_back(0.4f + 0.037f * static_cast<float>(k % 31));
            n.push_back(1 + k % 40);
        }
        Io io;
        std::string text = write_chron("tst1a.", first, v, n, io) + write_chron("tst1b.", first, v, n, io);
        auto got = read_all(text, "ir", io);
        ASSERT_EQ(got.size(), 2u) << text;
        for (const auto& g : got) {
            EXPECT_EQ(g.first_year, first) << text;
            ASSERT_EQ(g.count, 27) << text;
            for (int k = 0; k < 27; ++k) {
                EXPECT_NEAR(g.values[k], v[k], 0.0005f);
                EXPECT_EQ(g.samples[k], n[k]);
            }
        }
        EXPECT_EQ(got[0].id.substr(0, 4), "tst1") << text;
    }
}

TEST(TucsonWrite, RingWidthLinesLabelsAndEndMarker) {
    Io io;
    std::vector<float> v(20, 1.5f);
    auto lines = lines_of(write_rings("ABC", 1230, v, io));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ABC     1230  1500  1500  1500  1500  1500  1500  1500  1500  1500  1500  stdraw");
    EXPECT_EQ(lines[0].find("stdraw"), 74u);  // column 75
    EXPECT_EQ(lines[2], "ABC     1250 -9999");

    // First line of 1234 holds six values; a short last line has no label.
    lines = lines_of(write_rings("ABC", 1234, std::vector<float>(7, 0.999f), io));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "ABC     1234  1000  1000  1000  1000  1000  1000");
    EXPECT_EQ(lines[1], "ABC     1240  1000 -9999");

    // Years -9999 to -1000 take a five-column year and a seven-character identifier, earlier
    // years six and six.
    lines = lines_of(write_rings("ABCDEFGH", -1000, {0.1f}, io));
    EXPECT_EQ(lines[0], "ABCDEFG-1000   100 -9999");
    lines = lines_of(write_rings("ABCDEFGH", -1001, {0.1f, 0.2f}, io));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "ABCDEFG-1001   100");
    EXPECT_EQ(lines[1], "ABCDEFG-1000   200 -9999");
    lines = lines_of(write_rings("ABCDEFGH", -10000, {0.1f}, io));
    EXPECT_EQ(lines[0], "ABCDEF-10000   100 -9999");

    // Nothing for an empty series.
    EXPECT_EQ(write_rings("ABC", 1900, {}, io), "");
}

TEST(TucsonWrite, ChronologyLinesFillPairsAndLabel) {
    Io io;
    std::vector<float> v = {1.0f, 0.5f, 1.25f, 0.75f, 1.1f, 0.9f, 1.0f};
    std::vector<int> n = {5, 6, 7, 8, 9, 10, 11};
    auto lines = lines_of(write_chron("tst1a.", 1234, v, n, io));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "tst1a.12349990  09990  09990  09990  01000  5 500  61250  7 750  81100  9 900 10  stdcrn");
    EXPECT_EQ(lines[1],
              "tst1a.12401000 119990  09990  09990  09990  09990  09990  09990  09990  09990  0  stdcrn");
    EXPECT_EQ(lines[0].size(), 88u);

    // Exactly ten values from 1230: one full line and a line of ten fill pairs.
    lines = lines_of(write_chron("x", 1230, std::vector<float>(10, 1.0f), {}, io));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(10, 14), "1000  11000  1");  // sample count 1 without counts
    EXPECT_EQ(lines[1].substr(0, 10), "x     1240");
    std::string fill;
    for (int k = 0; k < 10; ++k) fill += "9990  0";
    EXPECT_EQ(lines[1].substr(10, 70), fill);

    lines = lines_of(write_chron("ABCDEF", -1000, {1.0f}, {3}, io));
    EXPECT_EQ(lines[0].substr(0, 10), "ABCDE-1000");
}

TEST(TucsonWrite, ValuesTooWideAreClampedWithOneWarningPerFile) {
    Io io;
    TucsonWriteState state;
    state.file_name = "site_crns_tuc.txt";
    auto text = write_chron("crn", 1900, {10.5f, 1.0f, -3.0f}, {1500, 4, 4}, io, &state);
    text += write_chron("crn2", 1900, {12.0f}, {2}, io, &state);
    auto lines = lines_of(text);
    EXPECT_EQ(lines[0].substr(10, 7), "9989999");
    EXPECT_EQ(lines[0].substr(24, 7), "-999  4");
    std::string shown = io.out.str();
    EXPECT_NE(shown.find("series crn, year 1900"), std::string::npos) << shown;
    EXPECT_NE(shown.find("site_crns_tuc.txt"), std::string::npos);
    EXPECT_EQ(shown.find("WARNING"), shown.rfind("WARNING"));  // once per file
    // The clamped file reads back as three values, not as an early end.
    Io io2;
    auto got = read_all(text, "ir", io2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].count, 3);
    EXPECT_NEAR(got[0].values[0], 9.989f, 1e-4f);

    // Ring widths: a value beyond six columns, -9.999 mm (the end marker) and NaN.
    Io io3;
    auto rings = write_rings("R", 2000, {2000.0f, -9.999f, std::nanf(""), 1.0f}, io3);
    EXPECT_EQ(lines_of(rings)[0], "R       2000999999 -9998     0  1000 -9999");
    Io io4;
    auto back = read_all(rings, "mr", io4);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].count, 4);
}

TEST(TucsonWrite, DashInLayoutColumnsIsWrittenAsUnderscore) {
    Io io;
    TucsonWriteState state;
    std::string rings = write_rings("ABCDEF-G", 1950, {1.0f, 2.0f}, io, &state);
    rings += write_rings("ABCDEFG-", 1950, {1.0f}, io, &state);
    EXPECT_EQ(lines_of(rings)[0].substr(0, 12), "ABCDEF_G1950");
    EXPECT_EQ(lines_of(rings)[1].substr(0, 12), "ABCDEFG_1950");
    EXPECT_EQ(io.out.str().find("WARNING"), io.out.str().rfind("WARNING"));
    Io io2;
    auto got = read_all(rings, "mr", io2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first_year, 1950);
    EXPECT_EQ(got[1].first_year, 1950);

    std::string chron = write_chron("ABCD-F", 1950, {1.0f}, {}, io);
    EXPECT_EQ(chron.substr(0, 10), "ABCD_F1950");
    Io io3;
    auto c = read_all(chron, "ir", io3);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].first_year, 1950);
}

TEST(TucsonWrite, FailedStreamStopsTheRun) {
    Io io;
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    TucsonWriteState state;
    state.file_name = "x.txt";
    std::vector<float> v = {1.0f};
    try {
        trrw(out, "mw", {.id = "A", .first_year = 1900, .values = v, .label = "stdraw"}, state, io.console);
        FAIL() << "no stop";
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
        EXPECT_NE(std::string(stop.what()).find("x.txt"), std::string::npos);
    }
}

TEST(TucsonRead, EndMarkersScaleAndLayouts) {
    Io io;
    const std::string text =
        "HBM01A  1997   100   200   300\n"
        "HBM01A  2000   178    62   236 -9999\n"
        "HBM01B  1790   178         156   999   555\n"
        "NEG     -123   100   200   999\n"
        "NEG4567-1234   100   200   300   999\n";
    auto got = read_all(text, "mr", io);
    ASSERT_EQ(got.size(), 4u);
    // Thousandths: all earlier values of the series are scaled too.
    EXPECT_EQ(got[0].count, 6);
    EXPECT_NEAR(got[0].values[0], 0.1f, 1e-6f);
    EXPECT_NEAR(got[0].values[3], 0.178f, 1e-6f);
    EXPECT_NEAR(got[0].values[5], 0.236f, 1e-6f);
    // Hundredths, a blank field reads as zero, the fields after the marker are ignored.
    EXPECT_EQ(got[1].count, 3);
    EXPECT_NEAR(got[1].values[0], 1.78f, 1e-6f);
    EXPECT_EQ(got[1].values[1], 0.0f);
    // -123 in columns 9-12 uses the normal layout; "-" in column 8 a five-column year.
    EXPECT_EQ(got[2].first_year, -123);
    EXPECT_EQ(got[2].id, "NEG     ");
    EXPECT_EQ(got[3].first_year, -1234);
    EXPECT_EQ(got[3].id, "NEG4567 ");
    EXPECT_EQ(got[3].count, 3);
}

// A lost end marker, a line cut short and a file that ends inside a series are refused with a
// message naming the line: values are never carried into the next series or read as zeros.
TEST(TucsonRead, MissingEndMarkersAndCutLinesAreRefusedNamingTheLine) {
    const std::string full = "AAA     1990   100   100   100   100   100   100   100   100   100   100\n";
    struct Case {
        std::string text, message;
    } cases[] = {
        {full + "BBB     2000   200   200   999\n",
         "Line 2 carries the identifier BBB, but series AAA has not ended: its end marker is missing?"},
        {"CCC     1990   100   200\nCCC     2000   300   999\n",
         "Line 1 of series CCC ends before its value for 1992 (the line is cut short, or the series' end "
         "marker is "
         "missing)."},
        {full,
         "The file ends after line 1, inside series AAA (first year 1990), before the series' end marker."},
    };
    for (const auto& c : cases) {
        Io io;
        TucsonReadState state;
        read_all(c.text, "mr", io, &state);
        EXPECT_TRUE(state.failed) << c.text;
        EXPECT_NE(io.out.str().find(c.message), std::string::npos) << io.out.str();
    }
}

TEST(TucsonRead, TitleHeaderLinesAndUnreadableLines) {
    Io io;
    std::string text =
        "SITE    1 A descriptive title line\n"
        "SITE    2 Second line\n"
        "SITE    3 Third line\n"
        "        \n"
        "S01     1900   100   999\n";
    TucsonReadState state;
    auto got = read_all(text, "mr", io, &state);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(state.header[0].rfind("SITE    1 A descriptive title line", 0), 0u);
    EXPECT_EQ(state.header[1].rfind("SITE    2 Second line", 0), 0u);
    EXPECT_EQ(state.header[2].size(), 88u);
    EXPECT_EQ(io.out.str(),
              "\n title of data:\n SITE    1 A descriptive title line\n SITE    2 Second line\n"
              " SITE    3 Third line\n");

    // The 26th unreadable line in one call ends the call with what it has (nothing).
    std::string garbage;
    for (int i = 0; i < 30; ++i) garbage += "junk line with text in the year columns\n";
    std::istringstream file(garbage + "S01     1900   100   999\n");
    TucsonReadState st;
    TucsonSeries s;
    trrw(file, "mr", s, st);
    EXPECT_EQ(s.count, 0);
    EXPECT_NE(st.counter, kEndOfFile);
}

TEST(TucsonRead, ChronologyFirstSlotAndEarlyEnd) {
    Io io;
    const std::string text =
        "tst1a.12349990  09990  09990  09990  01000  5 500  61250  7 750  81100  9 900 10\n"
        "tst1a.12401000 119990  0\n"
        "tst1b.12309990  09990  0\n";
    auto got = read_all(text, "ir", io);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].first_year, 1234);
    EXPECT_EQ(got[0].count, 7);
    EXPECT_EQ(got[0].samples[6], 11);
    EXPECT_NEAR(got[0].values[2], 1.25f, 1e-6f);
    EXPECT_EQ(got[1].count, 0);  // the decade year with 9990 in its first slot: no values
}

TEST(TucsonRead, LineEndsLfCrlfAndCrReadAlike) {
    const std::string lf =
        "TITLE   x some title\n"
        "S01     1998   100   200\n"
        "S01     2000   300   999\n"
        "S02     2001   150   250   999\n";
    auto convert = [&](const std::string& end) {
        std::string s;
        for (char c : lf) {
            if (c == '\n')
                s += end;
            else
                s += c;
        }
        return s;
    };
    Io a, b, c;
    auto x = read_all(lf, "mr", a);
    auto y = read_all(convert("\r\n"), "mr", b);
    auto z = read_all(convert("\r"), "mr", c);
    ASSERT_EQ(x.size(), 2u);
    for (const auto* other : {&y, &z}) {
        ASSERT_EQ(other->size(), x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            EXPECT_EQ((*other)[i].id, x[i].id);
            EXPECT_EQ((*other)[i].first_year, x[i].first_year);
            EXPECT_EQ((*other)[i].values, x[i].values);
        }
    }
    EXPECT_EQ(a.out.str(), b.out.str());
    EXPECT_EQ(a.out.str(), c.out.str());
}

TEST(TucsonRead, TextWithoutLineEndsIsNotReadToItsEnd) {
    // Three mebibytes without a line end: the reader keeps the start of the "line", takes the
    // rest as the end of the file and does not wade through it.
    std::istringstream file(std::string(3u << 20, 'x') + "\nS01     2000   300   999\n");
    std::string line;
    ASSERT_TRUE(read_text_line(file, line));
    EXPECT_EQ(line, std::string(4096, 'x'));
    EXPECT_FALSE(read_text_line(file, line));
    EXPECT_LT(file.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in), std::streamoff{2u << 20});
}

TEST(TucsonRead, TooManyValuesFailsTheRead) {
    std::string text;
    for (int y = 1000; y < 1000 + 5010; y += 10) {
        text += "LONG    " + std::to_string(y);
        for (int k = 0; k < 10; ++k) text += "   100";
        text += "\n";
    }
    text += "LONG    6010   999\n";
    Io io;
    TucsonReadState state;
    auto got = read_all(text, "mr", io, &state);
    EXPECT_TRUE(state.failed);
    EXPECT_NE(io.out.str().find("more than 5000 values"), std::string::npos) << io.out.str();
}

TEST(TucsonRead, FormatDescribedBlock) {
    Io io;
    std::string hash_line = std::string(79, ' ');
    hash_line.replace(0, 12, "Block title ");
    hash_line += "#";
    const std::string text = hash_line +
                             "\n"
                             "BLK01 description\n" +
                             count_line(12, 1850, "(5f6.2)") +
                             "  1.25  2.50   375  4.00 -1.00\n"
                             "  0.10  0.20  0.30  0.40  0.50\n"
                             "  9.99  8.88\n"
                             "S01     1900   100   999\n";
    auto got = read_all(text, "mr", io);
    ASSERT_EQ(got.size(), 2u) << io.out.str();
    EXPECT_EQ(got[0].id, "BLK01 de");
    EXPECT_EQ(got[0].first_year, 1850);
    ASSERT_EQ(got[0].count, 12);
    EXPECT_FLOAT_EQ(got[0].values[0], 1.25f);
    EXPECT_FLOAT_EQ(got[0].values[2], 3.75f);  // no decimal point: the last two digits are decimals
    EXPECT_FLOAT_EQ(got[0].values[4], -1.0f);  // stored as read, without scaling
    EXPECT_FLOAT_EQ(got[0].values[11], 8.88f);
    EXPECT_EQ(got[1].id, "S01     ");

    // Groups, integers and skips; the edit list starts again on a new line when it runs out.
    Io io2;
    const std::string grouped = hash_line + "\n" + count_line(4, -5, "(2(i4))") + "  12 -34\n   5   6\n" +
                                hash_line + "\n" + count_line(2, 7, "(x,f4.1)") + "x 1.5\nx 2.5\n";
    auto g = read_all(grouped, "mr", io2);
    ASSERT_EQ(g.size(), 2u) << io2.out.str();
    EXPECT_EQ(g[0].values, (std::vector<float>{12.0f, -34.0f, 5.0f, 6.0f}));
    EXPECT_EQ(g[0].first_year, -5);
    EXPECT_EQ(g[1].values, (std::vector<float>{1.5f, 2.5f}));

    Io io3;
    TucsonReadState state;
    read_all(hash_line + "\n" + count_line(8, 1900, "(4f5.1)") + "  1.0  2.0\n", "mr", io3, &state);
    EXPECT_TRUE(state.failed);
    EXPECT_NE(io3.out.str().find(">> sbr datar:  unexpected end reading data"), std::string::npos);
    Io io4;
    read_all(hash_line + "\n" + count_line(2, 1900, "(2f5.1)") + "  1.0  x.y\n", "mr", io4, &state);
    EXPECT_NE(io4.out.str().find(">> sbr datar:  error reading data"), std::string::npos);
}
