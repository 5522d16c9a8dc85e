// `kestrovan check`: the crossdating checks alone, on every format the readers take: each of gp's
// exchange-format copies gives the checks of its Tucson original, and a file that cannot be read
// is refused with status 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "io/reader_files.hpp"
#include "support/program_runner.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan::testing;

namespace {

int check(const std::string& arguments) {
    const int raw =
        std::system((std::string(KESTROVAN_BINARY) + " check " + arguments + " > out.txt 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace

TEST(CheckCommand, EveryFormatGivesTheChecksOfItsTucsonOriginal) {
    TempDir dir("check");
    copy_example_data("gp.rwl");
    ASSERT_EQ(check("gp.rwl --out tucson"), 0) << read_file("out.txt");
    const std::string want = read_file("tucson/gp_xdate.json");
    ASSERT_NE(want.find("\"segments\": 522"), std::string::npos) << want.substr(0, 400);
    EXPECT_NE(read_file("out.txt").find("Flagged series (1): 48B"), std::string::npos) << read_file("out.txt");
    const kestrovan::SeriesTable gp = tucson_original("gp.rwl");
    const std::pair<std::string, std::string> files[] = {{"gp.csv", csv_table(gp, ',')},
                                                         {"gp.fh", heidelberg_file(gp)},
                                                         {"gp.txt", compact_file(gp)},
                                                         {"gp.xml", tridas_file(gp)}};
    const char* formats[] = {"csv", "heidelberg", "compact", "tridas"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::ofstream(files[i].first) << files[i].second;
        ASSERT_EQ(check(files[i].first + " --format " + formats[i] + " --out " + formats[i]), 0)
            << formats[i] << "\n" << read_file("out.txt");
        EXPECT_EQ(read_file(std::string(formats[i]) + "/gp_xdate.json"), want) << formats[i];
    }
    std::ofstream("junk.rwl") << "not a data file\n";
    EXPECT_EQ(check("junk.rwl"), 1);
    EXPECT_EQ(check("gp.rwl --format no-such-format"), 1);
    EXPECT_NE(read_file("out.txt").find("Unknown format"), std::string::npos) << read_file("out.txt");
}
