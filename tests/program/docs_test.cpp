// The reference of the run-file keys: every key the reader takes stands in the README's table and
// in the manual page, so that neither drifts from the program; and the bundled run files are
// accepted by the reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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
