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

// A line of more than a mebibyte is refused by its own number; a refusal quotes at most 60
// characters of a cell; a separator inside a quoted name does not decide the table's separator.
TEST(ExchangeFormats, LongLinesAndCellsAreNamedNotRepeated) {
    const std::string huge((std::size_t{1} << 20) + 10, '7');
    const Loaded fh = load("HEADER:\nKeyCode=A1\nTitle=" + huge + "\nDATA:Tree\n", "6\n");
    EXPECT_NE(fh.shown.find("Line 3 is longer than a mebibyte"), std::string::npos) << fh.shown.substr(fh.shown.size() > 600 ? fh.shown.size() - 600 : 0);
    const Loaded compact = load("\n" + huge + "\n", "7\n");
    EXPECT_NE(compact.shown.find("Line 2 is longer than a mebibyte"), std::string::npos)
        << compact.shown.substr(compact.shown.size() > 600 ? compact.shown.size() - 600 : 0);
    // Inside a series too: its values, then a mebibyte more on the same line.
    std::string fields;
    for (int i = 0; i < 26; ++i) fields += "100";
    const Loaded inside =
        load("      52=N    1900=I AAA01   -2(26F3.0)~\n" + fields + huge + "\n" + fields + "\n", "7\n");
    EXPECT_NE(inside.shown.find("Line 2 is longer than a mebibyte"), std::string::npos)
        << inside.shown.substr(inside.shown.size() > 600 ? inside.shown.size() - 600 : 0);

    const Loaded cell = load("Year,A\n1900,1.5\n1901," + std::string(900000, 'x') + "\n", "5\n0\n");
    EXPECT_FALSE(cell.ok);
    EXPECT_NE(cell.shown.find("(series A, 1901): \"" + std::string(60, 'x') + "...\" is not a number"),
              std::string::npos)
        << cell.shown.substr(0, 300);
    EXPECT_LT(cell.shown.size(), 2000u);

    const Loaded quoted = load("Year,\"A;1\",B\n1900,1.5,2.5\n1901,1.25,2\n", "5\n0\n");
    ASSERT_TRUE(quoted.ok) << quoted.shown;
    ASSERT_EQ(quoted.table.count(), 2);
    EXPECT_EQ(rtrim(quoted.table.ids[0]), "A;1");
    EXPECT_EQ(values_of(quoted.table, 0), (std::vector<float>{1.5f, 1.25f}));
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
}

// 9990 anywhere else in a series of hundredths is refused naming its line (read, it would be a
// ring of 99.90 mm); in a series of thousandths it is a width of 9.990 mm wherever it stands.
TEST(TucsonPadding, ElsewhereRefusedInHundredthsAWidthInThousandths) {
    auto line = [](const std::string& id, int year, const std::string& values) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%-8s%4d", id.c_str(), year);
        return buf + values + "\n";
    };
    const std::string full = "   100   110   120   130   140   150   160   170   180   190";
    const struct {
        const char* where;
        std::string text;
        int line, year;
    } cases[] = {
        {"between two rings", line("AAA", 1900, "   100  9990   200   999"), 1, 1901},
        {"padding, but the series goes on",
         line("AAA", 1905, "   100  9990  9990  9990  9990") + line("AAA", 1910, "   100   999"), 1, 1906},
        {"at the start of a later line",
         line("AAA", 1900, full) + line("AAA", 1910, "  9990  9990   100   999"), 2, 1910},
        {"just before the end marker", line("AAA", 1900, full) + line("AAA", 1910, "   100  9990   999"), 2,
         1911},
        {"inside a series that ends in padding",
         line("AAA", 1900, "   100  9990   200  9990  9990  9990  9990  9990  9990  9990"), 1, 1901},
    };
    for (const auto& c : cases) {
        const Loaded r = load(c.text + line("BBB", 1950, "   120   999"), "1\n");
        EXPECT_FALSE(r.ok) << c.where;
        EXPECT_NE(r.shown.find("Line " + std::to_string(c.line) + ": 9990 in series AAA for " +
                               std::to_string(c.year) + " stands where it cannot be padding"),
                  std::string::npos)
            << c.where << "\n"
            << r.shown;
    }
    const float w = 9990 * 0.01f * 0.1f;
    const Loaded k = load(line("AAA", 1900, "  9990  9990  1500  9990  2500 -9999"), "1\n");
    ASSERT_TRUE(k.ok) << k.shown;
    EXPECT_EQ(k.table.years[0].first, 1900);
    EXPECT_EQ(values_of(k.table, 0), (std::vector<float>{w, w, 1500 * 0.01f * 0.1f, w, 2500 * 0.01f * 0.1f}));
    EXPECT_EQ(k.shown.find("9990 read as padding"), std::string::npos) << k.shown;
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

// Names are unique as the 8-column identifier fields of the program's files hold them, trailing
// blanks ignored: "Tree 12" and "Tree 12 core north" would both be written "Tree 12 ".
TEST(ExchangeFormats, NamesAreUniqueAsTheirEightColumnsAreWritten) {
    EXPECT_EQ(short_names({"Tree 12", "Tree 12 core north", "        X"}),
              (std::vector<std::string>{"Tree 12", "Tree 121", "       1"}));
    const Loaded fh = load(
        "HEADER:\nKeyCode=Tree 12\nDateBegin=1900\nLength=2\nUnit=1/100 mm\nDATA:Tree\n100 120\n"
        "HEADER:\nKeyCode=Tree 12 core north\nDateBegin=1900\nLength=2\nUnit=1/100 mm\nDATA:Tree\n130 140\n",
        "6\n");
    ASSERT_TRUE(fh.ok) << fh.shown;
    EXPECT_EQ(fh.table.ids, (std::vector<std::string>{"Tree 12 ", "Tree 121"}));
    // CSV: quoted names alike but for trailing blanks are one name; a name of blanks is none.
    const std::pair<std::string, std::string> refused[] = {
        {"Year,\"A01\",\"A01  \"\n1900,1.0,2.0\n", "Line 1: columns 2 and 3 carry the same name, A01."},
        {"Year,A01,\"   \"\n1900,1.0,2.0\n", "Line 1, column 3: the series has no name."},
    };
    for (const auto& [csv, message] : refused) {
        const Loaded r = load(csv, "5\n0\n");
        EXPECT_FALSE(r.ok) << csv;
        EXPECT_NE(r.shown.find(message), std::string::npos) << r.shown;
    }
}

// A series before -999 keeps its whole name on every line written (-1000 included), or is
// refused where the data enter when its name is longer than the lines of its years carry.
TEST(TucsonIdentifiers, SeriesBeforeTheYearMinus999StayWholeAndDistinct) {
    std::istringstream none;
    std::ostringstream sink, file;
    Console quiet(none, sink);
    TucsonWriteState state;
    const std::vector<float> v(30, 1.25f);
    trrw(file, "mw", {.id = "ABCD101", .first_year = -1015, .values = v, .label = "stdraw"}, state, quiet);
    std::istringstream lines(file.str());
    int n = 0;
    for (std::string l; std::getline(lines, l); ++n) EXPECT_EQ(l.substr(0, 7), "ABCD101") << file.str();
    EXPECT_EQ(n, 4);  // lines of -1015, -1010, -1000 and -990
    const Loaded back = load(file.str(), "1\n");
    ASSERT_TRUE(back.ok) << back.shown;
    EXPECT_EQ(back.table.ids, (std::vector<std::string>{"ABCD101 "}));
    EXPECT_EQ(back.table.years[0].first, -1015);
    EXPECT_EQ(back.table.years[0].length, 30);

    const Loaded csv = load("Year,ABCD101G,ABCD101K\n-3000,1.0,1.1\n-2999,1.2,1.3\n", "5\n0\n");
    EXPECT_FALSE(csv.ok);
    EXPECT_NE(csv.shown.find("Series ABCD101G (line 2) begins in -3000: a Tucson line of that year holds 7 "
                             "characters of the identifier"),
              std::string::npos)
        << csv.shown;
}

// A series given twice (same identifier, years and values) is refused by every reader, naming
// both places; it would count twice in every mean. (One identifier in two segments of a Tucson
// file, other years, stays a warning: reader_faults_test.)
TEST(RepeatedSeries, GivenTwiceIsRefusedNamingBothPlaces) {
    const std::string a = "AAA     1900   100   200   300   999\n", b = "BBB     1900   150   250   999\n";
    const SeriesTable two = load(a + b, "1\n").table, one = load(a, "1\n").table;
    std::string tridas = tridas_file(two);  // AAA's element once more at the end of the object
    const std::size_t from = tridas.find("    <tridas:element>");
    const std::size_t to = tridas.find("</tridas:element>\n") + 18;
    tridas.insert(tridas.find("  </tridas:object>"), tridas.substr(from, to - from));
    const auto line_of = [&](std::size_t at) {
        return std::count(tridas.begin(), tridas.begin() + at, '\n') + 1;
    };
    const std::size_t first = tridas.find("<tridas:measurementSeries>");
    const std::size_t third = tridas.rfind("<tridas:measurementSeries>");
    const struct {
        std::string text, answers, places;
    } cases[] = {
        {a + b + a, "1\n", "at line 1 and at line 3."},
        {"AAA\n1900\n1.0\n2.0\nBBB\n1900\n1.5\nAAA\n1900\n1.0\n2.0\n", "3\n0\n", "at line 1 and at line 8."},
        {"year AAA AAA\n1900 1.0 1.0\n1901 2.0 2.0\n", "4\n0\n3\n-9.9\n",
         "at column 2 (line 2) and at column 3 (line 2)."},
        {heidelberg_file(two) + heidelberg_file(one), "6\n",
         "in the HEADER: block of line 1 and in the HEADER: block of line 19."},
        {compact_file(two) + compact_file(one), "7\n",
         "under the header line 1 and under the header line 5."},
        {tridas, "8\n",
         "in <measurementSeries> 1 of the document (line " + std::to_string(line_of(first)) +
             ") and in <measurementSeries> 3 of the document (line " + std::to_string(line_of(third)) + ")."},
    };
    for (const auto& c : cases) {
        const Loaded r = load(c.text, c.answers);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_NE(r.shown.find("Series AAA is given twice, with the same years and values: " + c.places),
                  std::string::npos)
            << r.shown;
    }
}
