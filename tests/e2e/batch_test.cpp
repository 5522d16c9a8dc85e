// Batch runs: one process per site, a row per site in batch_summary.csv, a broken site that
// cannot stop or change the others, per-site pith files for Regional Curve Standardization,
// signals, time limits and the layout of the output folders.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>

#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

// A run that completed: converged, or ended at its best iterate (the default run of gp.rwl
// does, its statistic below the criterion but its chronology not yet settled).
bool completed(const std::string& outcome) {
    return outcome == "converged" || outcome == "stopped at its best iterate";
}

// The rows of a CSV file split at its commas (no field of these tests holds a quoted comma).
std::vector<std::vector<std::string>> csv_rows(const std::string& path) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : read_lines(path)) {
        std::vector<std::string> fields;
        std::stringstream s(line);
        for (std::string f; std::getline(s, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

}  // namespace

TEST(Batch, BundledFilesAndABrokenOneGiveARowEachAndStatusOne) {
    TempDir dir("batch");
    for (const char* d : {"ca533.rwl", "co021.rwl", "gp.rwl"}) copy_example_data(d);
    std::ofstream("broken.rwl") << "HBM01A  1940   412   388\nnot a decade line\n";
    std::ofstream("default.toml") << "# every key at its default\n";
    EXPECT_EQ(
        run_kestrovan("", "batch default.toml ca533.rwl co021.rwl broken.rwl gp.rwl --jobs 2 --out sites"), 1)
        << read_file("out.txt");

    // Standard error is a file here: the failed site's reason and the closing line are said anyway.
    const std::string said = read_file("out.txt");
    EXPECT_NE(said.find("kestrovan: broken.rwl: stopped: "), std::string::npos) << said;
    EXPECT_NE(said.find("3 of 4 sites completed; sites/batch_summary.csv\n"), std::string::npos) << said;

    const auto rows = csv_rows("sites/batch_summary.csv");
    ASSERT_EQ(rows.size(), 5u) << read_file("sites/batch_summary.csv");
    EXPECT_EQ(rows[0][0], "file");
    EXPECT_EQ(rows[0].size(), 26u);
    EXPECT_EQ(rows[0][20], "site_code");
    EXPECT_EQ(rows[1][20], "CA533");  // the site of the data file's header lines
    EXPECT_EQ(rows[1][21], "Campito Mountain California USA");
    EXPECT_EQ(rows[1][12], "sites/ca533");
    EXPECT_EQ(rows[0][15], "rbar_tot");
    EXPECT_EQ(rows[1][13], "34");  // ca533: trees, every series its own without tree_id
    EXPECT_EQ(rows[3][15], "");    // broken.rwl: no statistics
    const char* files[] = {"ca533.rwl", "co021.rwl", "broken.rwl", "gp.rwl"};
    for (std::size_t i = 0; i < 4; ++i) {
        ASSERT_GE(rows[i + 1].size(), 7u);
        EXPECT_EQ(rows[i + 1][0], files[i]);
        const bool broken = i == 2;
        EXPECT_EQ(rows[i + 1][6].rfind("\"stopped: ", 0) == 0, broken) << rows[i + 1][6];
    }
    EXPECT_NE(read_file("sites/batch_summary.csv").find("could not be read"), std::string::npos);
    EXPECT_EQ(rows[1][1], "34");  // ca533: series
    EXPECT_EQ(rows[1][6], "converged");
    EXPECT_FALSE(fs::exists("sites/broken"));  // a site that never read its data writes nothing

    // A site's files are those of the same analysis answered in the dialogue.
    ASSERT_EQ(run_kestrovan_in(dir.file("alone"), "co021.rwl\n1\nR\n1\n\n\n\n\n\n\n\n", {"co021.rwl"}), 0);
    for (const char* f :
         {"co021_crns_col.txt", "co021_SSF_RAW_Ratios.txt", "co021_out_v45_v2b.txt", "co021_spectra.txt"})
        EXPECT_EQ(read_file("sites/co021/" + std::string(f)), read_file(dir.file("alone/") + f)) << f;
}

// A time limit is a finite number of seconds above 0; a refusal quotes the value shortened.
TEST(Batch, SiteTimeoutThatIsNoTimeIsRefused) {
    TempDir dir("batch_timeout");
    std::ofstream("default.toml") << "# every key at its default\n";
    const std::string long_number = "1" + std::string(308, '0');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"nan", "\"nan\" is not a finite number"},
        {"inf", "\"inf\" is not a finite number"},
        {"abc", "\"abc\" is not a number"},
        {"-5", "\"-5\" is not more than 0 seconds"},
        {"1e999", "\"1e999\" is out of range"},
        {long_number + "x", "\"" + long_number.substr(0, 24) + "...\" is not a number"},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_NE(run_kestrovan("", "batch default.toml gp.rwl --site-timeout " + value), 0) << value;
        const std::string out = read_file("out.txt");
        EXPECT_NE(out.find("--site-timeout: " + expected), std::string::npos) << out;
        EXPECT_LT(out.size(), 400u) << out;
    }
}

TEST(Batch, RegionalCurvesOfTwoSitesTakeTheirOwnPithFiles) {
    TempDir dir("batch-rcs");
    fs::create_directories("bank");
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", "bank/gp.rwl");
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", "bank/gq.rwl");
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", "bank/nopith.rwl");
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp_pith.txt", "bank/gp_pith.txt");
    {
        std::ofstream other("bank/gq_pith.txt");
        for (const std::string& l : read_lines("bank/gp_pith.txt")) other << std::stoi(l) + 7 << "\n";
    }
    std::ofstream("rcs.toml") << "curve = \"rcs\"\npith = \"{base}_pith.txt\"\nrbar_window = 0\n";
    EXPECT_EQ(run_kestrovan("", "batch rcs.toml bank/gp.rwl bank/gq.rwl bank/nopith.rwl --jobs 2"), 1)
        << read_file("out.txt");

    const auto rows = csv_rows("batch_summary.csv");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][6], "converged");
    EXPECT_EQ(rows[2][6], "converged");
    EXPECT_NE(rows[3][6].find("the pith-offset file bank/nopith_pith.txt does not exist"), std::string::npos)
        << rows[3][6];
    EXPECT_NE(read_file("bank/gp_summary.json").find("\"pith\": \"bank/gp_pith.txt\""), std::string::npos);
    EXPECT_NE(read_file("bank/gq_summary.json").find("\"pith\": \"bank/gq_pith.txt\""), std::string::npos);
    // Other offsets, another Regional curve.
    EXPECT_NE(read_file("bank/gp_RCScurves.txt"), read_file("bank/gq_RCScurves.txt"));

    // gp's site is the bundled Regional-curve example with its RBAR window left out.
    std::string answers = example_answers("gp_rcs.txt");
    const std::string with_window = "1\n0\n\n\n\n\n\nF", without = "1\n0\n\n0\n\n\nF";
    answers.replace(answers.find(with_window), with_window.size(), without);
    ASSERT_EQ(run_kestrovan_in(dir.file("alone"), answers, {"gp.rwl", "gp_pith.txt"}), 0)
        << read_file(dir.file("alone/out.txt"));
    for (const char* f : {"gp_crns_col.txt", "gp_RCScurves.txt", "gp_SSF_RAW_Ratios.txt"})
        EXPECT_EQ(read_file("bank/" + std::string(f)), read_file(dir.file("alone/") + f)) << f;
}

// A data file name with a byte that is not UTF-8 is a legal name: the site runs, and the summary
// and the batch CSV carry the name as valid UTF-8 with that byte as \xHH.
TEST(Batch, NameThatIsNotUtf8RunsAndIsWrittenEscaped) {
    TempDir dir("batch_name");
    const std::string name = "g\xE9p.rwl";
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", name);
    std::ofstream("default.toml") << "# every key at its default\n";
    ASSERT_EQ(run_kestrovan("", "batch default.toml " + name), 0) << read_file("out.txt");
    const auto rows = csv_rows("batch_summary.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "g\\xE9p.rwl");
    EXPECT_TRUE(completed(rows[1][6]));
    const auto summary = nlohmann::json::parse(read_file("g\xE9p_summary.json"));
    EXPECT_EQ(summary["data_file"]["name"], "g\\xE9p.rwl");
}

// "{base}" in a data file's name is not expanded again in the pith name, and names starting with
// "-" are files, not options, after "--" (before it the program says how to pass them).
TEST(Batch, PlaceholderAndDashInNamesAreFileNames) {
    TempDir dir("batch_names");
    for (const char* name : {"{base}.rwl", "-g.rwl"})
        fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", name);
    fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp_pith.txt", "{base}_pith.txt");
    std::ofstream("-r.toml") << "data = \"{base}.rwl\"\ncurve = \"rcs\"\npith = \"{base}_pith.txt\"\n";
    EXPECT_EQ(run_kestrovan("", "run -- -r.toml", "ulimit -t 60"), 0) << read_file("out.txt");
    EXPECT_TRUE(fs::exists("{base}_summary.json"));
    std::ofstream("plain.toml") << "# every key at its default\n";
    ASSERT_EQ(run_kestrovan("", "batch -- -r.toml {base}.rwl", "ulimit -t 60"), 0) << read_file("out.txt");
    ASSERT_EQ(run_kestrovan("", "batch plain.toml -- -g.rwl"), 0) << read_file("out.txt");
    EXPECT_TRUE(completed(csv_rows("batch_summary.csv")[1][6]));
    EXPECT_EQ(run_kestrovan("", "batch plain.toml -g.rwl"), 1);
    EXPECT_NE(read_file("out.txt").find(
                  "kestrovan: -g.rwl: a file name that starts with \"-\" is read as an option"),
              std::string::npos)
        << read_file("out.txt");
}

// SIGTERM to a batch of 12 sites: the batch passes it on, waits for its sites and writes its
// summary, each site that did not complete as "stopped: signal"; a stopped site's report says
// how it stopped, and no staged file, lock or status file is left.
TEST(Batch, SigtermStopsTheSitesAndTheSummaryIsWritten) {
    TempDir dir("batch_signal");
    fs::create_directories("tmp");
    std::vector<std::string> names;
    for (int i = 1; i <= 12; ++i) {
        names.push_back("s" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".rwl");
        fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl", names.back());
    }
    std::ofstream("default.toml") << "# every key at its default\n";
    std::string script = "TMPDIR=" + dir.file("tmp") + " " + KESTROVAN_BINARY +
                         " batch default.toml s*.rwl --jobs 2 --out sites > out.txt 2>&1 & p=$!; "
                         "i=0; while [ ! -e sites/s01/s01_out_v45_v2b.txt ] && [ $i -lt 1000 ]; do "
                         "sleep 0.01; i=$((i+1)); done; kill -TERM $p; wait $p; echo $? > status.txt";
    std::ofstream("signal.sh") << script << "\n";
    ASSERT_EQ(std::system("sh signal.sh"), 0);
    EXPECT_EQ(read_file("status.txt"), "1\n") << read_file("out.txt");
    const std::string said = read_file("out.txt");
    EXPECT_NE(said.find("kestrovan: the batch was stopped by SIGTERM\n"), std::string::npos) << said;
    EXPECT_NE(said.find(" of 12 sites completed; sites/batch_summary.csv\n"), std::string::npos) << said;

    const auto rows = csv_rows("sites/batch_summary.csv");
    ASSERT_EQ(rows.size(), 13u);
    int stopped = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::string& outcome = rows[i][6];
        const std::string report = "sites/" + names[i - 1].substr(0, 3) + "/" + names[i - 1].substr(0, 3) +
                                   "_out_v45_v2b.txt";
        if (outcome == "stopped: signal") {
            ++stopped;
            if (fs::exists(report)) {
                EXPECT_NE(read_file(report).find("THE RUN STOPPED ABNORMALLY: Stopped by signal SIGTERM."),
                          std::string::npos)
                    << report;
            }
        } else {
            EXPECT_TRUE(completed(outcome)) << names[i - 1];
        }
    }
    EXPECT_GE(stopped, 10);
    for (const auto& e : fs::recursive_directory_iterator("sites"))
        EXPECT_FALSE(e.path().string().ends_with(".part") || e.path().string().ends_with(".lock"))
            << e.path();
    EXPECT_TRUE(fs::is_empty("tmp"));  // the sites' status files
}

// Data files that share a base name in different folders each get a folder of their own (their
// path from the folder that holds them all), named in the summary; a site that runs too long (120
// copies of ca533's series) is stopped at its time limit of 8 seconds while the others complete,
// also in the slower sanitizer build.
TEST(Batch, SharedBaseNamesAndASiteThatRunsTooLong) {
    TempDir dir("batch_layout");
    for (const char* d : {"bank/north", "bank/south"}) {
        fs::create_directories(d);
        fs::copy_file(std::string(KESTROVAN_DATA_DIR) + "/gp.rwl", std::string(d) + "/raw.rwl");
    }
    {
        const auto lines = read_lines(std::string(KESTROVAN_DATA_DIR) + "/ca533.rwl");
        std::ofstream slow("bank/slow.rwl");
        for (std::size_t i = 0; i < 3; ++i) slow << lines[i] << "\n";
        // 120 copies (4,080 series, half a minute on one thread of an optimized build), each
        // named by two letters: CAM011 -> AAX011, ABX011, ...
        for (int copy = 0; copy < 120; ++copy)
            for (std::size_t i = 3; i < lines.size(); ++i)
                slow << static_cast<char>('A' + copy / 26) << static_cast<char>('A' + copy % 26) << 'X'
                     << lines[i].substr(3) << "\n";
    }
    std::ofstream("default.toml") << "# every key at its default\n";
    EXPECT_EQ(run_kestrovan("", "batch default.toml bank/north/raw.rwl bank/south/raw.rwl bank/slow.rwl "
                                "--out sites --site-timeout 8"),
              1)
        << read_file("out.txt");
    const auto rows = csv_rows("sites/batch_summary.csv");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][12], "output_dir");
    EXPECT_TRUE(completed(rows[1][6]));
    EXPECT_EQ(rows[1][12], "sites/north/raw.rwl");
    EXPECT_EQ(rows[2][12], "sites/south/raw.rwl");
    EXPECT_EQ(rows[3][6], "stopped: time limit");
    EXPECT_TRUE(fs::exists("sites/north/raw.rwl/raw_summary.json"));
    EXPECT_TRUE(fs::exists("sites/south/raw.rwl/raw_summary.json"));
}
