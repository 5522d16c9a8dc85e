// Saving the selected series (file names, header codes, read-back) and the pith-offset dialogue
// and reader, on the bundled gp.rwl and its offsets.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"
#include "model/series_table.hpp"
#include "select/censor.hpp"
#include "select/pithy.hpp"
#include "select/savcen.hpp"

using namespace kestrovan;

namespace {

struct Io {
    std::istringstream in;
    std::ostringstream out;
    Console console{in, out};
    explicit Io(const std::string& answers = {}) : in(answers) {}
};

// Reads a Tucson ring-width file into a table with the ring-width reader.
SeriesTable load_rwl(const std::string& path, std::array<std::string, 3>& header) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    TucsonSeries s;
    TucsonReadState state;
    std::vector<TucsonSeries> all;
    while (true) {
        trrw(file, "mr", s, state);
        if (s.count == kEndOfFile) break;
        if (s.count > 0) all.push_back(s);
    }
    header = state.header;
    SeriesTable t;
    int rows = 0;
    for (const auto& x : all) rows = std::max(rows, x.count);
    t.data.resize(rows, static_cast<int>(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i) {
        t.ids.push_back(all[i].id);
        t.years.push_back({all[i].first_year, all[i].first_year + all[i].count - 1, all[i].count});
        for (int k = 0; k < all[i].count; ++k)
            t.data(k, static_cast<int>(i)) = all[i].values[static_cast<std::size_t>(k)];
    }
    t.update_summary();
    return t;
}

// The first n series of a table, as a table read from a file of n series.
SeriesTable first_series(const SeriesTable& t, int n) {
    SeriesTable s;
    s.ids.assign(t.ids.begin(), t.ids.begin() + n);
    s.years.assign(t.years.begin(), t.years.begin() + n);
    s.data.resize(t.data.rows(), n);
    s.update_summary();
    return s;
}

std::vector<int> read_ints(const std::string& path) {
    std::ifstream f(path);
    std::vector<int> v;
    for (int x; f >> x;) v.push_back(x);
    return v;
}

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() /
               ("kv_savcen_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
        std::filesystem::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", "gp.rwl");
        std::filesystem::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp_pith.txt", "gp_pith.txt");
        table_ = load_rwl("gp.rwl", header_);
        files_.data_name = "gp.rwl";
        files_.header = header_;
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

    std::filesystem::path old_, dir_;
    std::array<std::string, 3> header_;
    SeriesTable table_;
    OutputFiles files_;
};

using Savcen = TempDirTest;
using Pithy = TempDirTest;

}  // namespace

TEST(SavcenNames, TagsAndNumberFields) {
    EXPECT_EQ(savcen_file_name("site", kChoiceMinSegment, 50, 0), "site_mnsl=50.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceMinSegment, 150, 0), "site_mnsl=150.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceMinSegment, 5, 0), "site_mnsl= 5.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceMinSegment, 1500, 0), "site_mnsl=1500.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceMaxStart, 1800, 0), "site_mxsy=1800.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceMinStart, 950, 0), "site_mnsy= 950.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceTruncBefore, 950, 0), "site_trunb=950.txt");
    EXPECT_EQ(savcen_file_name("d/site", kChoiceTruncAfter, 1990, 0), "d/site_truna=1990.txt");
    EXPECT_EQ(savcen_file_name("site", kChoiceCommon, 1900, 1950), "site_comm=1900-1950.txt");
    // Years that do not fit the field are widened, never turned into asterisks.
    EXPECT_EQ(savcen_file_name("site", kChoiceMaxStart, -1200, 0), "site_mxsy=-1200.txt");
}

TEST_F(Savcen, SavedFileCarriesHeaderCodesAndReadsBackToTheSelection) {
    Io io;
    ASSERT_GT(cenbyseg(table_, 300, io.console), 0);
    const std::string name = savcen(kChoiceMinSegment, 300, 0, table_, files_, io.console);
    EXPECT_EQ(name, "gp_mnsl=300.txt");
    EXPECT_NE(io.out.str().find("\n File for censored data created: gp_mnsl=300.txt\n"), std::string::npos);

    std::ifstream f(name);
    std::string line;
    for (int h = 0; h < 3; ++h) {
        ASSERT_TRUE(std::getline(f, line));
        ASSERT_EQ(line.size(), 88u);
        EXPECT_EQ(line.substr(84, 4), "MNSL");
        EXPECT_EQ(line.substr(0, 80), header_[static_cast<std::size_t>(h)].substr(0, 80));
        EXPECT_EQ(files_.header[static_cast<std::size_t>(h)].substr(84, 4), "MNSL");  // kept for the run
    }
    // Full decade lines carry the line code from column 75.
    bool labelled = false;
    while (std::getline(f, line))
        if (line.size() >= 80 && line.substr(74, 6) == "mnsl  ") labelled = true;
    EXPECT_TRUE(labelled);

    std::array<std::string, 3> back_header;
    SeriesTable back = load_rwl(name, back_header);
    ASSERT_EQ(back.count(), table_.count());
    for (int i = 0; i < back.count(); ++i) {
        const auto si = static_cast<std::size_t>(i);
        EXPECT_EQ(back.ids[si], table_.ids[si]);
        EXPECT_EQ(back.years[si].first, table_.years[si].first);
        EXPECT_EQ(back.years[si].length, table_.years[si].length);
        for (int k = 0; k < back.years[si].length; ++k)
            ASSERT_NEAR(back.data(k, i), table_.data(k, i), 0.0006) << table_.ids[si] << " position " << k;
    }
}

TEST_F(Pithy, OffsetsInSeriesOrderWithMethodOne) {
    ASSERT_EQ(table_.count(), 58);
    Io io("T\ngp_pith.txt\n1\n0\n");
    RunOptions p;
    pithy(io.console, files_, table_, p);
    EXPECT_TRUE(p.pith_present);
    EXPECT_EQ(p.pith_offsets, read_ints("gp_pith.txt"));
    EXPECT_EQ(p.pith_offsets[0], 78);
    EXPECT_EQ(*std::max_element(p.pith_offsets.begin(), p.pith_offsets.end()), 248);
    const std::string out = io.out.str();
    EXPECT_NE(out.find(" of the file raw ring width records: gp.rwl\n"
                       " (58 offsets, one per series, in the order of the file)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n Reading offset file: gp_pith.txt\n"), std::string::npos);
    EXPECT_EQ(out.find("Warning"), std::string::npos);
}

// After censoring, a file with one offset per series of the data file gives every kept series
// the offset of its own place in that file; a file with one per kept series is taken in order;
// any other count is refused, naming both counts, and the question comes again.
TEST_F(Pithy, AfterCensoringEachKeptSeriesKeepsItsOwnOffset) {
    const auto file = read_ints("gp_pith.txt");
    Io quiet;
    int year = 1700;
    const int kept = cenayify(table_, year, quiet.console);
    ASSERT_EQ(kept, 33);
    std::string subset;
    std::vector<int> own;
    for (int i = 0; i < kept; ++i) {
        own.push_back(file[static_cast<std::size_t>(table_.file_position(i))]);
        subset += fmt_i(own.back(), 4) + "\n";
    }
    write("subset.txt", subset);
    write("forty.txt", subset + "   1\n   2\n   3\n   4\n   5\n   6\n   7\n");

    Io io("T\ngp_pith.txt\n1\n0\n");
    RunOptions p;
    pithy(io.console, files_, table_, p);
    EXPECT_EQ(p.pith_offsets, own);
    const auto at14b = std::find(table_.ids.begin(), table_.ids.end(), "14B     ") - table_.ids.begin();
    ASSERT_LT(at14b, kept);
    EXPECT_EQ(p.pith_offsets[static_cast<std::size_t>(at14b)], 248);
    EXPECT_NE(
        io.out.str().find(" Either 58 offsets, one per series of that file (each selected\n"
                          " series takes the offset of its place there), or 33, one per series now selected,"
                          " in their order.\n"),
        std::string::npos)
        << io.out.str();
    EXPECT_NE(io.out.str().find("The 33 selected series take the offsets of their places in gp.rwl."),
              std::string::npos);

    Io in_order("T\nsubset.txt\n1\n0\n");
    RunOptions q;
    pithy(in_order.console, files_, table_, q);
    EXPECT_EQ(q.pith_offsets, own);

    Io wrong("T\nforty.txt\n1\n0\nF\n");
    RunOptions r;
    pithy(wrong.console, files_, table_, r);
    EXPECT_FALSE(r.pith_present);
    EXPECT_NE(
        wrong.out.str().find("*** The offset file holds 40 pith offsets: it must hold 58 (one per series of "
                             "gp.rwl) or 33 (one per series now selected).\n"
                             " These pith offsets cannot be used: give another file, or none.\n"),
        std::string::npos)
        << wrong.out.str();
}

TEST_F(Pithy, LogicalAnswersAndNoFile) {
    const SeriesTable four = first_series(table_, 4);
    Io io("x\n\nyes\n.false.\n");
    RunOptions p;
    p.pith_present = true;
    pithy(io.console, files_, four, p);
    EXPECT_FALSE(p.pith_present);
    EXPECT_EQ(p.pith_offsets, std::vector<int>(4, 0));
    // Asked four times: three refused answers (two of them with a reason), then false.
    const std::string out = io.out.str();
    std::size_t n = 0, reasons = 0;
    for (std::size_t at = 0; (at = out.find("Is there a pith offset file?", at)) != std::string::npos; ++at)
        ++n;
    for (std::size_t at = 0; (at = out.find("Answer T for true or F for false.", at)) != std::string::npos;
         ++at)
        ++reasons;
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(reasons, 2u);

    // "/" stops at the question itself and at the file name.
    for (const char* answers : {"/\n", ".TRUE.\n/\n"}) {
        Io stop(answers);
        EXPECT_THROW(pithy(stop.console, files_, four, p), ProgramStop) << answers;
    }
}

TEST_F(Pithy, MissingFileWrongMethodBadFormatThenOwnFormatWithHeader) {
    write("hdr.txt", "Offsets of the site\nXX 12 rest\nXX  7\nXX123\n\n");
    Io io("T\nnothere.txt\n\nhdr.txt\n3\n0\n\n1 2\n2\n1\n(f4.1)\n2\n-1\n1\n(2x,i3)\n");
    RunOptions p;
    pithy(io.console, files_, first_series(table_, 3), p);
    EXPECT_TRUE(p.pith_present);
    EXPECT_EQ(p.pith_offsets, (std::vector<int>{12, 7, 123}));
    const std::string out = io.out.str();
    EXPECT_NE(out.find("\n\n          File > nothere.txt < not found\n"
                       "          Hit return to enter a new file name or / to quit program.\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n          Please enter 1 or 2 \n          Hit RETURN and try again.\n"),
              std::string::npos);
    EXPECT_NE(out.find("Enter one number only: \"1 2\" holds more than one."), std::string::npos);
    EXPECT_NE(out.find("The number of header lines cannot be negative."), std::string::npos);
    EXPECT_NE(out.find("(f4.1) cannot be used"), std::string::npos);
    EXPECT_NE(out.find("\n 1Title Line: Offsets of the site\n"), std::string::npos);

    // Three offsets for four series: refused, naming both counts.
    Io four("T\nhdr.txt\n2\n1\n(2x,i3)\nF\n");
    RunOptions q;
    pithy(four.console, files_, first_series(table_, 4), q);
    EXPECT_FALSE(q.pith_present);
    EXPECT_NE(four.out.str().find("*** The offset file holds 3 pith offsets, but gp.rwl holds 4 series"),
              std::string::npos);
}

// Offsets indented on their lines are read where they stand; a byte-order mark is passed over;
// with a format, digits outside its field name the line; a file of zeros is warned about.
TEST_F(Pithy, IndentedOffsetsFieldsAndZeros) {
    const auto file = read_ints("gp_pith.txt");
    std::string indented = "\xEF\xBB\xBF";
    for (int v : file) indented += "    " + fmt_i(v, 4) + "\n";
    write("indented.txt", indented);
    Io io("T\nindented.txt\n1\n0\n");
    RunOptions p;
    pithy(io.console, files_, table_, p);
    EXPECT_EQ(p.pith_offsets, file);
    EXPECT_EQ(io.out.str().find("Warning"), std::string::npos);

    // "(i4)" as a format: the indented numbers stand outside the field.
    Io fmt("T\nindented.txt\n2\n0\n(i4)\n\\\n");
    EXPECT_THROW(pithy(fmt.console, files_, table_, p), ProgramStop);
    EXPECT_NE(
        fmt.out.str().find("          Line 1 of indented.txt: digits stand outside columns 1-4, where the "
                           "format (i4) reads the offset.\n"),
        std::string::npos)
        << fmt.out.str();

    std::string zeros;
    for (int i = 0; i < 58; ++i) zeros += "   0\n";
    write("zeros.txt", zeros);
    Io zero("T\nzeros.txt\n1\n0\n");
    pithy(zero.console, files_, table_, p);
    EXPECT_EQ(p.pith_offsets, std::vector<int>(58, 0));
    EXPECT_NE(zero.out.str().find("*** Warning: every pith offset in the file reads as 0"),
              std::string::npos);
}

TEST_F(Pithy, UnreadableRecordOffersRetryAnotherFileOrQuit) {
    write("bad.txt", "  12\n abc\n");
    write("good.txt", "  12\n  13\n");
    const SeriesTable two = first_series(table_, 2);
    Io io("T\nbad.txt\n1\n0\nagain\n1\n0\n\\\n");
    RunOptions p;
    try {
        pithy(io.console, files_, two, p);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Normal);
    }
    const std::string out = io.out.str();
    const std::string block =
        "\n          Line 2 of bad.txt: \"abc\" is not one whole number.\n\n"
        "          There was an error reading the pith offset \n"
        "          values in file : bad.txt\n"
        "          Do you want to try again? or quit?\n"
        "          [N] names another file, RETURN reads this one again\n"
        "          enter [\\] to quit : ";
    const auto first = out.find(block);
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find(block, first + 1), std::string::npos);  // asked again after "again"
    EXPECT_NE(out.find("          Program Terminating \n"), std::string::npos);

    // N: another file, then the method again.
    Io other("T\nbad.txt\n1\n0\nN\ngood.txt\n1\n0\n");
    pithy(other.console, files_, two, p);
    EXPECT_EQ(p.pith_offsets, (std::vector<int>{12, 13}));
}

TEST_F(Pithy, TooManyOffsetsIsFatal) {
    std::string many;
    for (int i = 0; i < 4501; ++i) many += "   1\n";
    write("many.txt", many);
    Io io("T\nmany.txt\n1\n0\n");
    RunOptions p;
    try {
        pithy(io.console, files_, table_, p);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
    }
    EXPECT_NE(io.out.str().find(" This is a fatal error, there is no recovery \n Program Terminating \n"),
              std::string::npos);
}

TEST(RecordFormat, IntegerFieldsSkipsRepeatsAndGroups) {
    auto f = [](std::string_view s) { return parse_record_format(s); };
    ASSERT_TRUE(f("(i4)"));
    EXPECT_EQ(f("(i4)")->column, 0);
    EXPECT_EQ(f("(i4)")->width, 4);
    EXPECT_EQ(f("(2x,i3)")->column, 2);
    EXPECT_EQ(f("( 2X , I3 )")->width, 3);
    EXPECT_EQ(f("(1x,2(3x),i5)")->column, 7);
    EXPECT_EQ(f("(x,3i2)")->column, 1);
    EXPECT_EQ(f("(t6,i2)")->column, 5);
    EXPECT_EQ(f("(2(2x,i3))")->column, 2);
    for (const char* bad : {"i4", "(f4.1)", "(2x)", "(a4)", "(2x,i3", "", "(i0)", "(2x,,i3))", "(/,i4)"})
        EXPECT_FALSE(f(bad)) << bad;

    EXPECT_EQ(read_integer_field("   -7", {0, 5}), -7);
    EXPECT_EQ(read_integer_field("12", {4, 3}), 0);  // record too short: a blank field
    EXPECT_FALSE(read_integer_field(" 1a ", {0, 4}));
}

TEST(PithOffsets, NegativeOffsetsAndAgesBeyondTheCurveLimitAreRefused) {
    SeriesTable t;
    t.ids = {"A       ", "B       ", "C       "};
    t.years = {{1000, 1999, 1000}, {1500, 1999, 500}, {1, 4900, 4900}};
    RunOptions p;
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);

    p.pith_offsets = {0, 12, 100};  // series C: 100 + 4900 rings = age 5000, the last one held
    EXPECT_TRUE(check_pith_offsets(console, t, p));
    EXPECT_TRUE(out.str().empty());

    p.pith_offsets = {-3, 12, 101};
    EXPECT_FALSE(check_pith_offsets(console, t, p));
    EXPECT_NE(out.str().find("Series A        has a negative pith offset (-3)"), std::string::npos);
    EXPECT_NE(out.str().find("Series C       : pith offset 101 and 4900 rings reach age 5001"),
              std::string::npos);
    EXPECT_EQ(out.str().find("Series B"), std::string::npos);
}
