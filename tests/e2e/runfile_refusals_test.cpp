// Run files that cannot be used: refused before anything runs (message naming the key, the value
// and what is allowed, status 1, no file created or touched), and answers the dialogue would ask
// again, which end the run with its message and status 1 instead of looping.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

std::set<std::string> listing() {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(".")) names.insert(e.path().filename().string());
    return names;
}

int run_with(const std::string& text) {
    std::ofstream("run.toml") << text;
    return run_kestrovan("", "run run.toml");
}

}  // namespace

TEST(RunFileRefusals, NameTheKeyTheValueAndWhatIsAllowedAndWriteNothing) {
    TempDir dir("refusals");
    copy_example_data("ca533.rwl");
    copy_example_data("gp.rwl");
    std::ofstream("ca533_crns_col.txt") << "an earlier run\n";
    const std::string d = "data = \"ca533.rwl\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {d + "curve = ", "run.toml: line 2"},
        {d + "stifness = 50\n", "unknown key \"stifness\" (did you mean stiffness?)"},
        {d + "stiffness = \"fifty\"\n", "stiffness = \"fifty\": a whole number"},
        {d + "stiffness = 1\n", "stiffness = 1: 2 to 100000 (years)"},
        {d + "curve = \"super-smoother\"\nalpha = 12\n", "alpha = 12: 0 to 9"},
        {d + "curve = \"spline\"\n", "curve = \"spline\": one of \"age-dependent-spline\""},
        {d + "curve = \"fixed-spline\"\nwavelength = 5\n",
         "wavelength = 5: a whole number from 10 to 100000"},
        {d + "curve = \"fixed-spline\"\n", "wavelength: required"},
        {d + "power_transform = true\n", "power_transform = true: only with residual indices"},
        {d + "rbar_window = 0\nstabilization = \"age-dependent-spline\"\n",
         "stabilization = \"age-dependent-spline\": none (0) without a running RBAR window"},
        {d + "rbar_window = 10\n", "rbar_window = 10: 0 (none), or 25 years or more"},
        {d + "convergence = -0.001\n", "convergence = -0.001: a finite number of 0 or more"},
        {d + "min_segment_length = 100\nmax_start_year = 1500\n", "one selection only"},
        {d + "common_period = [1900, 1800]\n",
         "common_period = [ 1900, 1800 ]: an end year that is not before"},
        {d + "alpha = 5\n", "alpha = 5: only with curve = \"super-smoother\""},
        {d + "curve = \"rcs\"\nregional_curve = \"median\"\nwindow = 4\n",
         "window = 4: an odd number of years"},
        {d + "format = \"multiple-columns\"\nsentinel = \"-9.9\"\n", "columns: required"},
        {"data = \"nothere.rwl\"\n", "data = \"nothere.rwl\": the data file nothere.rwl does not exist"},
        {"data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"{base}_nopith.txt\"\n",
         "the pith-offset file gp_nopith.txt"},
        {d + "curve = \"rcs\"\npith = \"ca533.rwl\"\npith_format = \"(f8.2)\"\n", "pith_format = \"(f8.2)\""},
        {d + "curve = \"rcs\"\n[[retry]]\nmean = \"arithmetic\"\n", "[[retry]] 1: unknown key \"mean\""},
        {d + "plots = \"xcairo\"\n", "plots = \"xcairo\": \"off\" or a file device"},
        {d + "truncate_at = \"rbar\"\n", "truncate_at = \"rbar\": \"eps\" or \"sss\""},
        {d + "stabilization = \"none\"\nsignal_free_stabilization = \"age-dependent-spline\"\n",
         "signal_free_stabilization = \"age-dependent-spline\": only with a stabilization"},
        {"", "data: no data file is named"},
        {d +
             [] {
                 std::string key = "a";  // a dotted key 100,000 levels deep
                 for (int i = 1; i < 100000; ++i) key += ".a";
                 return key;
             }() +
             " = 1\n",
         "run.toml: line 2: a key of more than 64 dotted parts"},
        {d + "truncate_after = -2147483640\n",
         "truncate_after = -2147483640: a whole number from -99999 to 9999"},
        {d + "plots = \"extcairo\"\n",
         "plots = \"extcairo\": \"off\" or a file device that works without a display: \"pngcairo\", "
         "\"svg\", \"svgcairo\", \"pdfcairo\", \"psc\""},
        {d + "plots = \"pngcairo\"\nplot_size = \"2400\"\n",
         "plot_size = \"2400\": WIDTHxHEIGHT in pixels (\"2400x1800\") or inches at a resolution "
         "(\"8x6in@300\")"},
        {d + "plot_size = \"2400x1800\"\n", "plot_size = \"2400x1800\": only with plots naming a file device"},
        {d + "curve = \"rcs\"\nwindow = 0\n", "window = 0: 3 or more years"},
        {d + "curve = \"rcs\"\npith = \"\"\n", "pith = \"\": a file name"},
        {d + "stiffness = [" +
             [] {
                 std::string a = "0";
                 for (int i = 1; i < 2000; ++i) a += ", " + std::to_string(i);
                 return a;
             }() +
             "]\n",
         "stiffness = [ 0, 1, 2, 3, 4, ... (2000 values) ]: a whole number"},
        {"data = \"gp\\nx.rwl\"\n", "the data file gp\\nx.rwl does not exist"},
    };
    const std::set<std::string> before = [] {
        auto l = listing();
        l.insert({"run.toml", "answers.txt", "out.txt"});
        return l;
    }();
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(run_with(text), 1) << text;
        const std::string out = read_file("out.txt");
        EXPECT_NE(out.find("kestrovan: run.toml: "), std::string::npos) << text << "\n" << out;
        EXPECT_NE(out.find(message), std::string::npos) << text << "\n" << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;  // one line, whatever the value
        EXPECT_EQ(listing(), before) << text;
        EXPECT_EQ(read_file("ca533_crns_col.txt"), "an earlier run\n") << text;
    }
}

TEST(RunFileRefusals, AnswerTheDialogueWouldAskAgainEndsTheRun) {
    TempDir dir("asked-again");
    copy_example_data("ca533.rwl");
    copy_example_data("gp.rwl");
    std::ofstream("three_pith.txt") << "1\n2\n3\n";
    std::ofstream("broken.rwl") << "not a ring-width file\n";
    std::ofstream("latin.rwl")
        << "Site caf\xE9 title\nABC     1950   100   2x0   300\nABC     1960   100   999\n";
    const std::pair<std::string, std::string> cases[] = {
        {"data = \"ca533.rwl\"\nmax_start_year = 100\n",
         "max_start_year = 100: *** Warning: No series were found that start ON or BEFORE   100"},
        {"data = \"gp.rwl\"\nrbar_window = 2001\n",
         "rbar_window = 2001: The running RBAR window cannot be longer than the 421 years of the data."},
        {"data = \"gp.rwl\"\ncurve = \"rcs\"\npith = \"three_pith.txt\"\n",
         "pith = \"three_pith.txt\": *** The offset file holds 3 pith offsets"},
        {"data = \"broken.rwl\"\n", "data = \"broken.rwl\": the data could not be read"},
        {"data = \"latin.rwl\"\n", "data = \"latin.rwl\": the data could not be read"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(run_with(text), 1) << text;
        const std::string out = read_file("out.txt");
        EXPECT_NE(out.find(message), std::string::npos) << text << "\n" << out;
        // Never asked: the end of input was not met.
        EXPECT_EQ(out.find("End of input"), std::string::npos) << out;
    }
}

TEST(RunFileRefusals, OutputDirectoryKeepsTheRuleThatNoOutputReplacesTheDataFile) {
    TempDir dir("out-link");
    copy_example_data("gp.rwl");
    const std::string data = read_file("gp.rwl");
    fs::create_directories("out");
    fs::create_symlink("../gp.rwl", "out/gp_crns_col.txt");
    EXPECT_EQ(run_with("data = \"gp.rwl\"\n"), 0) << read_file("out.txt");  // beside the data: no link there
    std::ofstream("run.toml") << "data = \"gp.rwl\"\n";
    EXPECT_EQ(run_kestrovan("", "run run.toml --out out"), 1);
    EXPECT_NE(read_file("out.txt").find("is the data file gp.rwl under another name"), std::string::npos)
        << read_file("out.txt");
    EXPECT_EQ(read_file("gp.rwl"), data);
}
