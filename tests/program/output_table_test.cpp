// The table of output files against the README's table and the clean-up: the README lists the
// files in the table's order, and every name a run can write is one the clean-up removes first.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "io/output_files.hpp"
#include "io/output_table.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;

TEST(OutputTable, ReadmeTableFollowsIt) {
    const std::string readme =
        kestrovan::testing::read_file(std::string(KESTROVAN_EXAMPLES_DIR) + "/../README.md");
    const std::size_t from = readme.find("## Output files");
    ASSERT_NE(from, std::string::npos);
    const std::size_t to = readme.find("\n\n", readme.find("| file | content |", from));
    const std::string table = readme.substr(from, to - from);
    std::vector<std::string> names;
    const std::regex row(R"(\n\| `([^`]+)`)");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), row); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    std::vector<std::string> expected;
    for (const OutputFileRow& r : output_file_table()) expected.emplace_back(r.readme);
    EXPECT_EQ(names, expected);
}

TEST(OutputTable, CleanUpCoversEveryNameOfTheTable) {
    OutputFiles files;
    files.data_name = "dir/site.rwl";
    const std::vector<std::string> names = files.output_names();
    for (const OutputFileRow& r : output_file_table()) {
        EXPECT_FALSE(r.description.empty());
        EXPECT_EQ(&output_file(r.id), &r);
        for (const std::string& suffix : r.suffixes) {
            const std::string name = "dir/site" + suffix;
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
            EXPECT_NE(std::find(names.begin(), names.end(), name + ".part"), names.end()) << name;
        }
    }
    EXPECT_EQ(names.front(), files.report_name());
    EXPECT_EQ(files.summary_name(), "dir/site_summary.json");
}
