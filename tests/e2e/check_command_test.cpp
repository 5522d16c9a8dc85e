// The crossdating checks: `kestrovan check` on every format the readers take (each of gp's
// exchange-format copies gives the checks of its Tucson original; a file that cannot be read is
// refused with status 1), and the run file's keys of the checks and of the EPS threshold.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
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
    EXPECT_NE(read_file("out.txt").find("Flagged series (1): 48B"), std::string::npos)
        << read_file("out.txt");
    const kestrovan::SeriesTable gp = tucson_original("gp.rwl");
    const std::pair<std::string, std::string> files[] = {{"gp.csv", csv_table(gp, ',')},
                                                         {"gp.fh", heidelberg_file(gp)},
                                                         {"gp.txt", compact_file(gp)},
                                                         {"gp.xml", tridas_file(gp)}};
    const char* formats[] = {"csv", "heidelberg", "compact", "tridas"};
    for (std::size_t i = 0; i < 4; ++i) {
        std::ofstream(files[i].first) << files[i].second;
        ASSERT_EQ(check(files[i].first + " --format " + formats[i] + " --out " + formats[i]), 0)
            << formats[i] << "\n"
            << read_file("out.txt");
        EXPECT_EQ(read_file(std::string(formats[i]) + "/gp_xdate.json"), want) << formats[i];
    }
    std::ofstream("junk.rwl") << "not a data file\n";
    EXPECT_EQ(check("junk.rwl"), 1);
    EXPECT_EQ(check("gp.rwl --format no-such-format"), 1);
    EXPECT_NE(read_file("out.txt").find("Unknown format"), std::string::npos) << read_file("out.txt");
}

// A run file's eps_threshold and [crossdating] table reach the run: a higher threshold moves the
// years from which EPS and SSS hold later, other segments are tested, and enabled = false writes
// no checks at all.
TEST(CrossdatingRunFile, ThresholdAndTableReachTheRun) {
    TempDir dir("xdate_run");
    copy_example_data("co021.rwl");
    const auto summary = [](const std::string& toml) {
        std::ofstream("run.toml") << "data = \"co021.rwl\"\n" << toml;
        const int raw = std::system((std::string(KESTROVAN_BINARY) + " run run.toml > out.txt 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << read_file("out.txt");
        return nlohmann::json::parse(read_file("co021_summary.json"));
    };
    const auto plain = summary("");
    EXPECT_FALSE(std::filesystem::exists("co021_stdcrn_sss.crn"));
    const auto strict = summary("eps_threshold = 0.9\ntruncate_at = \"sss\"\n[crossdating]\nsegment_length = 40\nlag = 20\n");
    const auto& a = plain["statistics"]["standard"];
    const auto& b = strict["statistics"]["standard"];
    EXPECT_EQ(a["eps_threshold"], 0.85);
    EXPECT_EQ(b["eps_threshold"], 0.9);
    EXPECT_GT(b["eps_from"].get<int>(), a["eps_from"].get<int>());
    EXPECT_GE(b["sss_from"].get<int>(), a["sss_from"].get<int>());
    // truncate_at: each .crn file once more from its chronology's SSS year, the decades after the
    // cut as in the whole file.
    for (const char* side : {"standard", "signal_free"}) {
        const std::string code = std::string(side) == "standard" ? "stdcrn" : "ssfcrn";
        const auto whole = read_lines("co021_" + code + ".crn"), cut = read_lines("co021_" + code + "_sss.crn");
        const int from = strict["statistics"][side]["sss_from"].get<int>();
        ASSERT_GT(cut.size(), 4u);
        EXPECT_NE(cut[2].find(code + "_sss, ") , std::string::npos) << cut[2];
        EXPECT_NE(cut[2].find(", " + std::to_string(from) + " to "), std::string::npos) << cut[2];
        EXPECT_EQ(std::stoi(cut[3].substr(6, 4)), from - from % 10) << cut[3];
        EXPECT_TRUE(std::equal(cut.begin() + 4, cut.end(), whole.end() - static_cast<long>(cut.size() - 4)));
    }
    EXPECT_EQ(plain["crossdating"]["segment_length"], 50);
    EXPECT_EQ(strict["crossdating"]["segment_length"], 40);
    EXPECT_GT(strict["crossdating"]["segments"].get<int>(), plain["crossdating"]["segments"].get<int>());
    const auto off = summary("[crossdating]\nenabled = false\n");
    EXPECT_TRUE(off["crossdating"].is_null());
    EXPECT_FALSE(std::filesystem::exists("co021_xdate.txt"));
}
