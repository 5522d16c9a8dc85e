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
#include "io/run_files.hpp"
#include "io/series_table.hpp"
#include "io/tucson.hpp"
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
    std::ostringstream sink;
    std::istringstream none;
    Console quiet(none, sink);
    TucsonSeries s;
    TucsonReadState state;
    std::vector<TucsonSeries> all;
    while (true) {
        trrw(file, "mr", s, state, quiet);
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
        for (int k = 0; k < all[i].count; ++k) t.data(k, static_cast<int>(i)) = all[i].values[static_cast<std::size_t>(k)];
    }
    t.update_summary();
    return t;
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
    RunFiles files_;
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
    EXPECT_EQ(savcen_header_code(kChoiceCommon), "COMM");
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
    RunParameters p;
    pithy(io.console, files_, table_.count(), p);
    EXPECT_EQ(p.pith_present, 1);
    EXPECT_EQ(p.pith_offsets, read_ints("gp_pith.txt"));
    EXPECT_EQ(p.pith_offsets[0], 78);
    EXPECT_EQ(*std::max_element(p.pith_offsets.begin(), p.pith_offsets.end()), 248);
    const std::string out = io.out.str();
    EXPECT_NE(out.find(" of the file raw ring width records: gp.rwl\n"), std::string::npos);
    EXPECT_NE(out.find("\n Reading offset file: gp_pith.txt\n"), std::string::npos);
    EXPECT_EQ(out.find("Warning"), std::string::npos);
}

TEST_F(Pithy, AfterCensoringOffsetsGoToKeptSeriesByPositionWithAWarning) {
    Io quiet;
    const int kept = cenbyseg(table_, 300, quiet.console);
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, 58);
    Io io("t\ngp_pith.txt\n1\n0\n");
    RunParameters p;
    pithy(io.console, files_, kept, p);
    const auto file = read_ints("gp_pith.txt");
    ASSERT_EQ(p.pith_offsets.size(), static_cast<std::size_t>(kept));
    for (int i = 0; i < kept; ++i) EXPECT_EQ(p.pith_offsets[static_cast<std::size_t>(i)], file[static_cast<std::size_t>(i)]);
    EXPECT_NE(io.out.str().find("58 pith offsets for " + std::to_string(kept) + " series"), std::string::npos);
}

TEST_F(Pithy, LogicalAnswersAndNoFile) {
    Io io("x\n\nyes\n.false.\n");
    RunParameters p;
    p.pith_present = 1;
    pithy(io.console, files_, 4, p);
    EXPECT_EQ(p.pith_present, 0);
    EXPECT_EQ(p.pith_offsets, std::vector<int>(4, 0));
    // Asked four times: three refused answers, then false.
    const std::string out = io.out.str();
    std::size_t n = 0;
    for (std::size_t at = 0; (at = out.find("Is there a pith offset file?", at)) != std::string::npos; ++at) ++n;
    EXPECT_EQ(n, 4u);

    Io io2(".TRUE.\n/\n");
    EXPECT_THROW(pithy(io2.console, files_, 4, p), ProgramStop);
}

TEST_F(Pithy, MissingFileWrongMethodBadFormatThenOwnFormatWithHeader) {
    write("hdr.txt", "Offsets of the site\nXX 12 rest\nXX  7\nXX123\n\n");
    Io io("T\nnothere.txt\n\nhdr.txt\n3\n0\n\n2\n1\n(f4.1)\n2\n1\n(2x,i3)\n");
    RunParameters p;
    pithy(io.console, files_, 4, p);
    EXPECT_EQ(p.pith_present, 1);
    EXPECT_EQ(p.pith_offsets, (std::vector<int>{12, 7, 123, 0}));
    const std::string out = io.out.str();
    EXPECT_NE(out.find("\n\n          File > nothere.txt < not found\n"
                       "          Hit return to enter a new file name or / to quit program.\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n          Please enter 1 or 2 \n          Hit RETURN and try again.\n"), std::string::npos);
    EXPECT_NE(out.find("(f4.1) cannot be used"), std::string::npos);
    EXPECT_NE(out.find("\n 1Title Line: Offsets of the site\n"), std::string::npos);
    // Three offsets for four series: the fourth gets 0, and the user is told.
    EXPECT_NE(out.find("3 pith offsets for 4 series"), std::string::npos);
}

TEST_F(Pithy, UnreadableRecordOffersRetryOrQuit) {
    write("bad.txt", "  12\n abc\n");
    Io io("T\nbad.txt\n1\n0\nagain\n1\n0\n\\\n");
    RunParameters p;
    try {
        pithy(io.console, files_, 2, p);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Normal);
    }
    const std::string out = io.out.str();
    const std::string block = "\n          There was an error reading the pith offset \n"
                              "          values in file : bad.txt\n"
                              "          Do you want to try again? or quit?\n"
                              "          enter [\\] to quit : ";
    const auto first = out.find(block);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(out.find(block, first + 1), std::string::npos);  // asked again after "again"
    EXPECT_NE(out.find("          Program Terminating \n"), std::string::npos);
}

TEST_F(Pithy, TooManyOffsetsIsFatal) {
    std::string many;
    for (int i = 0; i < 4501; ++i) many += "   1\n";
    write("many.txt", many);
    Io io("T\nmany.txt\n1\n0\n");
    RunParameters p;
    try {
        pithy(io.console, files_, 58, p);
        FAIL();
    } catch (const ProgramStop& stop) {
        EXPECT_EQ(stop.kind(), StopKind::Abnormal);
    }
    EXPECT_NE(io.out.str().find(" This is a fatal error, there is no recovery \n Program Terminating \n"), std::string::npos);
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
    RunParameters p;
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
