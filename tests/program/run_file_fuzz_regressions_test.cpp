// Run files that once broke the parser (fuzz/regressions/run_file/) and the fuzzer's seed files
// (fuzz/corpus/run_file/), run through the same entry point as the fuzz target.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../../fuzz/run_file_entry_point.hpp"

namespace fs = std::filesystem;

TEST(RunFileFuzzRegressions, KeptInputsAreReadOrRefusedCleanly) {
    const fs::path fuzz = fs::path(KESTROVAN_DATA_DIR) / ".." / ".." / "fuzz";
    int files = 0;
    for (const char* kind : {"regressions", "corpus"}) {
        const fs::path dir = fuzz / kind / "run_file";
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            ++files;
            std::ifstream f(e.path(), std::ios::binary);
            std::ostringstream s;
            s << f.rdbuf();
            EXPECT_EQ(kestrovan::fuzzing::run_run_file(s.str()), "") << e.path();
        }
    }
    EXPECT_GT(files, 0);
}
