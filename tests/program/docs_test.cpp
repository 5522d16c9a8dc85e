// The reference of the run-file keys: every key the reader takes stands in the README's table and
// in the manual page, so that neither drifts from the program; the README's table of data file
// formats is the program's; and the bundled run files are accepted by the reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/formats.hpp"
#include "run/run_file.hpp"
#include "run/run_plan.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;

TEST(Docs, ReadmeAndManualPageNameEveryRunFileKey) {
    const std::string root = std::string(KESTROVAN_EXAMPLES_DIR) + "/..";
    const std::string readme = kestrovan::testing::read_file(root + "/README.md");
    const std::string manual = kestrovan::testing::read_file(root + "/docs/kestrovan.1");
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(manual.empty());
    for (const std::string& key : run_file_keys()) {
        const std::string name = key == "retry" ? "[[retry]]" : key;
        EXPECT_NE(readme.find("| `" + name + "` |"), std::string::npos) << key;
        EXPECT_NE(manual.find(".B " + name + "\n"), std::string::npos) << key;
    }
}

// The README's table of data file formats has one row per format, in the menu's order, with its
// menu number and run-file name; its key table lists every name for `format`.
TEST(Docs, ReadmeTableOfFormatsIsTheProgramsTable) {
    const std::string root = std::string(KESTROVAN_EXAMPLES_DIR) + "/..";
    std::istringstream readme(kestrovan::testing::read_file(root + "/README.md"));
    std::vector<std::string> rows;
    bool in_table = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| menu | `format` |", 0) == 0) {
            in_table = true;
            continue;
        }
        if (in_table && line.rfind("|", 0) != 0) break;
        if (in_table && line.rfind("|---", 0) != 0)
            rows.push_back(line.substr(0, line.find('|', line.find('`'))));
    }
    std::vector<std::string> expected;
    for (const FileFormat& f : kFileFormats)
        expected.push_back("| " + std::to_string(f.menu) + " | `" + f.name + "` ");
    EXPECT_EQ(rows, expected);

    std::string names;
    for (const FileFormat& f : kFileFormats)
        names += std::string(names.empty() ? "" : ", ") + "\"" + f.name + "\"";
    EXPECT_NE(kestrovan::testing::read_file(root + "/README.md").find("| `format` | " + names + " |"),
              std::string::npos)
        << names;
}

TEST(Docs, ExampleRunFilesAreAccepted) {
    const std::filesystem::path runs = std::filesystem::path(KESTROVAN_EXAMPLES_DIR) / "runs";
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(runs)) {
        if (e.path().extension() != ".toml") continue;
        ++files;
        EXPECT_NO_THROW(read_run_file({e.path().string(), "", true})) << e.path();
    }
    EXPECT_GE(files, 2);
}
