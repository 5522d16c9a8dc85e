// The readers of CSV/TSV tables, Heidelberg files, the compact format and TRiDaS documents, the
// recognition of a file's kind, the 8-character names, 9990 padding in Tucson files and the
// filling of missing rings. The bundled sets, written in each format by the helpers of
// reader_files.hpp, must load as their Tucson originals.
#include <gtest/gtest.h>

#include <sstream>

#include "io/gaps.hpp"
#include "io/series_input.hpp"
#include "reader_files.hpp"

using namespace kestrovan;
using namespace kestrovan::testing;

namespace {

// Same identifiers, years and values (within `tolerance` millimetres).
void expect_same(const SeriesTable& got, const SeriesTable& want, float tolerance, const std::string& what) {
    ASSERT_EQ(got.count(), want.count()) << what;
    for (int s = 0; s < want.count(); ++s) {
        const auto i = static_cast<std::size_t>(s);
        ASSERT_EQ(got.ids[i], want.ids[i]) << what;
        ASSERT_EQ(got.years[i].first, want.years[i].first) << what << " " << want.ids[i];
        ASSERT_EQ(got.years[i].length, want.years[i].length) << what << " " << want.ids[i];
        const auto a = values_of(got, s), b = values_of(want, s);
        for (std::size_t k = 0; k < b.size(); ++k)
            ASSERT_NEAR(a[k], b[k], tolerance) << what << " " << want.ids[i] << " " << want.years[i].first + k;
    }
    EXPECT_EQ(got.summary.first, want.summary.first) << what;
    EXPECT_EQ(got.summary.last, want.summary.last) << what;
}

// read_data with the given settings, on a quiet console; `shown` receives the console.
bool read_with(const std::string& content, const LoadSettings& settings, SeriesTable& table, std::string& shown,
               LoadNotes* notes = nullptr) {
    std::istringstream in, file(content);
    std::ostringstream out;
    Console console(in, out);
    std::array<std::string, 3> header;
    const bool ok = read_data(console, file, settings, table, header, notes);
    shown = out.str();
    return ok;
}

}  // namespace

TEST(ExchangeFormats, BundledSetsLoadAsTheirTucsonOriginals) {
    for (const char* name : {"gp.rwl", "co021.rwl", "ca533.rwl"}) {
        const SeriesTable original = tucson_original(name);
        struct Case {
            std::string what, content, answers, recognised;
            float tolerance;
        };
        const std::vector<Case> cases = {
            {"csv", csv_table(original, ','), "5\n0\n", "CSV table", 1e-6f},
            {"tsv, decimal comma", csv_table(original, '\t', true), "5\n0\n", "CSV table", 1e-6f},
            {"semicolons, decimal comma", csv_table(original, ';', true), "5\n0\n", "CSV table", 1e-6f},
            {"heidelberg", heidelberg_file(original), "6\n", "Heidelberg file", 0.0f},
            {"compact", compact_file(original), "7\n", "compact format", 0.0f},
            {"tridas", tridas_file(original), "8\n", "TRiDaS document", 0.0f},
        };
        for (const Case& c : cases) {
            const Loaded chosen = load(c.content, c.answers);
            ASSERT_TRUE(chosen.ok) << name << " " << c.what << "\n" << chosen.shown;
            expect_same(chosen.table, original, c.tolerance, std::string(name) + " " + c.what);
            const Loaded found = load(c.content, "9\n");
            ASSERT_TRUE(found.ok) << name << " " << c.what << "\n" << found.shown;
            EXPECT_NE(found.shown.find("\n Format recognised: " + c.recognised + " ("), std::string::npos)
                << found.shown;
            expect_same(found.table, original, c.tolerance, std::string(name) + " auto " + c.what);
        }
        // A table in hundredths (the run file's units key) gives the Tucson widths bit for bit.
        LoadSettings csv;
        csv.kind = FileKind::Csv;
        csv.unit_parts = 100;
        SeriesTable t;
        std::string shown;
        ASSERT_TRUE(read_with(csv_table(original, ',', false, true), csv, t, shown)) << shown;
        expect_same(t, original, 0.0f, std::string(name) + " csv in hundredths");
    }
}

TEST(ExchangeFormats, RecognitionOfTucsonKindsAndRefusal) {
    const SeriesTable gp = tucson_original("gp.rwl");
    const Loaded rings = load(bundled("gp.rwl"), "9\n");
    ASSERT_TRUE(rings.ok) << rings.shown;
    EXPECT_NE(rings.shown.find("Format recognised: Tucson ring widths"), std::string::npos);
    EXPECT_EQ(rings.header[0].substr(0, 10), "GPNA    1 ");
    expect_same(rings.table, gp, 0.0f, "auto gp");

    const Loaded chron = load(chronologies(gp, false), "9\n");
    ASSERT_TRUE(chron.ok) << chron.shown;
    EXPECT_NE(chron.shown.find("Format recognised: Tucson chronologies"), std::string::npos);

    // Column files are never guessed at: the user is sent back to the menu.
    const Loaded single = load(single_column(gp), "9\n");
    EXPECT_FALSE(single.ok);
    EXPECT_NE(single.shown.find("The format of the data file is not recognised"), std::string::npos);
}

TEST(ExchangeFormats, LongAndCollidingNamesGetUniqueShortNames) {
    EXPECT_EQ(short_names({"ABCDEFGHIJ", "ABCDEFGHKL", "ABCDEFGH", "A", "A", "SHORT"}),
              (std::vector<std::string>{"ABCDEFG1", "ABCDEFG2", "ABCDEFGH", "A", "A1", "SHORT"}));
    const std::string csv =
        "Year;Tree 12 core north;Tree 12 core south;T7\n"
        "1900;1,5;2,25;\n"
        "1901;1,6;;0,5\n"
        "1902;1,7;2,5;0,6\n";
    SeriesTable t;
    std::string shown;
    LoadNotes notes;
    LoadSettings s;
    s.kind = FileKind::Csv;
    ASSERT_TRUE(read_with(csv, s, t, shown, &notes)) << shown;
    EXPECT_EQ(t.ids, (std::vector<std::string>{"Tree 12 ", "Tree 121", "T7      "}));
    EXPECT_NE(shown.find(" name in the file    name used\n"
                         " Tree 12 core north  Tree 12 \n"
                         " Tree 12 core south  Tree 121\n"),
              std::string::npos)
        << shown;
    ASSERT_EQ(notes.renamed.size(), 2u);
    // An empty cell inside a series is a missing ring at its year; padding cells are not kept.
    EXPECT_EQ(values_of(t, 1), (std::vector<float>{2.25f, kMissing, 2.5f}));
    EXPECT_EQ(t.years[2].first, 1901);
    EXPECT_EQ(t.years[2].length, 2);
}

// Every refusal names the line (or the element's line) and what is wrong.
TEST(ExchangeFormats, RefusalsNameTheLine) {
    const std::string fh_head = "HEADER:\nKeyCode=A1\nDateBegin=1900\nLength=3\nUnit=1/100 mm\nDATA:Tree\n";
    const std::string tri_head =
        "<?xml version=\"1.0\"?>\n<project xmlns=\"http://www.tridas.org/1.2.2\">\n<measurementSeries>\n"
        "<title>S1</title>\n";
    const std::string tri_values =
        "<values><variable normalTridas=\"ring width\"/><unit normalTridas=\"1/100th millimetres\"/>\n"
        "<value value=\"120\"/><value value=\"130\"/></values>\n";
    struct Case {
        const char* what;
        std::string answers, content, expected;
    };
    const std::vector<Case> cases = {
        {"csv short row", "5\n0\n", "Year,A,B\n1900,1.1,1.2\n1901,1.3\n", "Line 3 holds 2 cells for the 3 columns"},
        {"csv year out of step", "5\n0\n", "Year,A\n1900,1.1\n1902,1.3\n", "Line 3 holds the year 1902 where 1901 was due"},
        {"csv text value", "5\n0\n", "Year,A\n1900,1.1\n1901,x7\n", "Line 3, column 2 (series A, 1901): \"x7\" is not a number"},
        {"csv width", "5\n0\n", "Year,A\n1900,100\n", "Line 2, column 2 (series A, 1900): 100 is not a ring width"},
        {"csv same names", "5\n0\n", "Year,A,A\n1900,1,2\n", "Line 1: columns 2 and 3 carry the same name, A."},
        {"csv header lines skipped", "5\n2\n", "title\n\nYear,A\n1900,1.1\n1901,1,2\n", "Line 5, column 3: a cell beyond the 2 columns"},
        {"fh no unit", "6\n", "HEADER:\nKeyCode=A1\nDateBegin=1900\nLength=1\nDATA:Tree\n   100\n",
         "Series A1 (HEADER: block of line 1) has no Unit key"},
        {"fh unknown unit", "6\n", "HEADER:\nKeyCode=A1\nDateBegin=1900\nLength=1\nUnit=inch\nDATA:Tree\n   100\n",
         "Line 5: Unit=inch is not a unit this program knows"},
        {"fh too few", "6\n", fh_head + "   100   200\n", "ends after 2 values of its Length 3 (last at line 7)"},
        {"fh too many", "6\n", fh_head + "   100   200   300\n   400\n", "Line 8: series A1 holds more values than its Length 3"},
        {"fh dates disagree", "6\n", "HEADER:\nKeyCode=A1\nDateBegin=1900\nDateEnd=1905\nLength=3\nUnit=1/100 mm\nDATA:Tree\n   1   2   3\n",
         "Series A1 (HEADER: block of line 1): DateBegin, DateEnd and Length do not agree"},
        {"fh chronology", "6\n", "HEADER:\nKeyCode=C\nDataFormat=Chrono\nDATA:Chrono\n", "Line 4: DATA:Chrono is not read"},
        {"fh not a number", "6\n", fh_head + "   100   2x0   300\n", "Line 7: \"2x0\" is not a whole number"},
        {"compact cut", "7\n", "       3=N    1900=I A1   -2(10F5.0)~\n  100  200\n", "Line 2 of Series A1 (line 1) holds fewer than the 3 fields"},
        {"compact field", "7\n", "       2=N    1900=I A1   -2(10F5.0)~\n  100 20 0\n", "Line 2, field 2 (series A1, 1901)"},
        {"compact unit", "7\n", "       1=N    1900=I A1   -5(10F5.0)~\n  100\n", "Line 1: the unit 10^-5 mm"},
        {"compact stray line", "7\n", "       1=N    1900=I A1   -2(10F5.0)~\n  100\nnot a header\n", "Line 3 is not the header line"},
        {"compact file ends", "7\n", "      13=N    1900=I A1   -2(10F5.0)~\n  100  100  100  100  100  100  100  100  100  100\n",
         "The file ends after line 2, inside Series A1 (line 1): 10 of its 13 values"},
        {"tridas not xml", "8\n", "<?xml version=\"1.0\"?>\n<project>\n<title>x</tridas>\n", "Line 3: the XML document cannot be read"},
        {"tridas no date", "8\n", tri_head + tri_values + "</measurementSeries></project>\n", "Line 3, <measurementSeries>: series S1 has no interpretation/firstYear"},
        {"tridas unit", "8\n", tri_head + "<interpretation><firstYear suffix=\"AD\">1900</firstYear></interpretation>\n"
                                          "<values><variable normalTridas=\"ring width\"/>\n<unit normalTridas=\"inches\"/>\n"
                                          "<value value=\"1\"/></values></measurementSeries></project>\n",
         "Line 7, <unit>: the unit of series S1 (\"inches\") is not one this program knows"},
        {"tridas value", "8\n", tri_head + "<interpretation><firstYear suffix=\"AD\">1900</firstYear></interpretation>\n"
                                           "<values><variable normalTridas=\"ring width\"/><unit normalTridas=\"micrometres\"/>\n"
                                           "<value value=\"1\"/>\n<value value=\"z\"/></values></measurementSeries></project>\n",
         "Line 8, <value> (series S1, 1901): \"z\" is not a number"},
        {"tridas last year", "8\n", tri_head + "<interpretation><firstYear suffix=\"BC\">10</firstYear><lastYear suffix=\"BC\">5</lastYear></interpretation>\n" +
                                        tri_values + "</measurementSeries></project>\n",
         "series S1 has 2 values from -9, so its last year is -8, not -4"},
    };
    for (const Case& c : cases) {
        const Loaded r = load(c.content, c.answers);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_NE(r.shown.find(c.expected), std::string::npos) << c.what << "\n" << r.shown;
        EXPECT_NE(r.shown.find("Input data not read in successfully"), std::string::npos) << c.what;
    }
}

// 9990 after a series' last value (to the end of its line) and before the next series' first
// value is no value; such a series has no end marker and takes the unit of the other series.
TEST(TucsonPadding, ReadAsNoValueWhereTheLayoutIsUnambiguous) {
    auto line = [](const std::string& id, int year, const std::string& values) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%-8s%4d", id.c_str(), year);
        return buf + values + "\n";
    };
    const std::string padded_end = line("AAA", 1900, "   100   200   300  9990  9990  9990  9990  9990  9990  9990");
    const std::string leading = line("BBB", 1900, "  9990  9990   150   250   999");
    const Loaded r = load(padded_end + leading + line("CCC", 1950, "   120   999"), "1\n");
    ASSERT_TRUE(r.ok) << r.shown;
    EXPECT_EQ(values_of(r.table, 0), (std::vector<float>{1.0f, 2.0f, 3.0f}));
    EXPECT_EQ(r.table.years[1].first, 1902);
    EXPECT_EQ(values_of(r.table, 1), (std::vector<float>{1.5f, 2.5f}));
    EXPECT_NE(r.shown.find("WARNING: 9990 read as padding (no value) on lines 1, 2;"), std::string::npos) << r.shown;

    // The other series' unit is thousandths: so is the padded one's.
    const Loaded k = load(padded_end + line("CCC", 1950, "  1200 -9999"), "1\n");
    ASSERT_TRUE(k.ok) << k.shown;
    EXPECT_EQ(values_of(k.table, 0), (std::vector<float>{1.0f * 0.1f, 2.0f * 0.1f, 3.0f * 0.1f}));

    // No other series declares a unit, or the others declare both: refused.
    for (const std::string& other : {std::string(), line("CCC", 1950, "   120   999") + line("DDD", 1950, "   120 -9999")}) {
        const Loaded u = load(padded_end + other, "1\n");
        EXPECT_FALSE(u.ok);
        EXPECT_NE(u.shown.find("Series AAA (line 1) ends in 9990 padding without an end marker"), std::string::npos)
            << u.shown;
    }
    // 9990 followed by a line of the same series is not padding: read as before, a width of 99.9 mm.
    const Loaded same = load(line("AAA", 1905, "   100  9990  9990  9990  9990") + line("AAA", 1910, "   100   999"), "1\n");
    ASSERT_TRUE(same.ok) << same.shown;
    EXPECT_EQ(same.table.years[0].length, 6);
    EXPECT_EQ(same.shown.find("9990 read as padding"), std::string::npos);
}

TEST(GapFilling, InnerGapsInterpolatedEndsCutOff) {
    const SeriesTable gp = tucson_original("gp.rwl");
    SeriesTable t = gp;
    // Rings removed on purpose: two inside series 0, one at each end of series 1.
    t.data(10, 0) = kMissing;
    t.data(11, 0) = -9.99f;
    t.data(0, 1) = kMissing;
    const int last1 = t.years[1].length - 1;
    t.data(last1, 1) = kMissing;
    const GapFilling g = fill_gaps(t);
    ASSERT_EQ(g.filled.size(), 2u);
    const float a = gp.data(9, 0), b = gp.data(12, 0);
    EXPECT_FLOAT_EQ(t.data(10, 0), a + (b - a) / 3.0f);
    EXPECT_FLOAT_EQ(t.data(11, 0), a + 2.0f * (b - a) / 3.0f);
    EXPECT_EQ(g.filled[0].year, gp.years[0].first + 10);
    ASSERT_EQ(g.trimmed.size(), 2u);
    EXPECT_EQ(t.years[1].first, gp.years[1].first + 1);
    EXPECT_EQ(t.years[1].length, gp.years[1].length - 2);
    EXPECT_EQ(t.data(0, 1), gp.data(1, 1));
    EXPECT_EQ(t.data(t.years[1].length, 1), kMissing);
    EXPECT_TRUE(g.empty.empty());

    SeriesTable none = gp;
    for (int k = 0; k < none.years[2].length; ++k) none.data(k, 2) = kMissing;
    EXPECT_EQ(fill_gaps(none).empty.size(), 1u);
}
