// The layers of the program: a folder of src/ includes only the subsystems below it, as the
// build's table of subsystems says (KESTROVAN_LAYERS: "sub:dep,dep|sub:..."). An include against
// the flow (numerics reaching for the run layer, the model layer for anything else) fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

namespace {

std::map<std::string, std::set<std::string>> allowed_includes() {
    std::map<std::string, std::set<std::string>> layers;
    std::stringstream table(KESTROVAN_LAYERS);
    for (std::string entry; std::getline(table, entry, '|');) {
        const auto colon = entry.find(':');
        std::stringstream deps(entry.substr(colon + 1));
        auto& mine = layers[entry.substr(0, colon)];
        for (std::string dep; std::getline(deps, dep, ',');) mine.insert(dep);
    }
    return layers;
}

TEST(Layers, EveryIncludeFollowsTheFlow) {
    const auto layers = allowed_includes();
    ASSERT_TRUE(layers.count("model") && layers.at("model") == std::set<std::string>{"model"});
    const std::filesystem::path src = std::filesystem::path(KESTROVAN_SOURCE_DIR) / "src";
    int checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const std::string folder = entry.path().parent_path().filename().string();
        ASSERT_TRUE(layers.count(folder)) << "src/" << folder << " is no subsystem of the build";
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("#include \"", 0) != 0) continue;
            const std::string target = line.substr(10, line.find('/', 10) - 10);
            EXPECT_TRUE(layers.at(folder).count(target))
                << entry.path().lexically_relative(src).string() << " includes " << target << "/";
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

// Inside io/, the readers return what they read and never talk: only the loading dialogue (the
// format menu, the help, the file viewer, the printing of a read's notes) and the writers of a
// run's files may include anything of console/ (or plot/), directly or through one another. A
// new file of io/ is a reader until it is named here.
TEST(Layers, ReadersIncludeNothingOfTheConsole) {
    const std::set<std::string> talkers{
        "loaders.cpp",    "format_menu.cpp",  "format_help.cpp",  "file_viewer.cpp", "tucson_writer.cpp",
        "crn_writer.cpp", "output_files.cpp", "output_files.hpp", "run_io.hpp",
    };
    const std::filesystem::path io = std::filesystem::path(KESTROVAN_SOURCE_DIR) / "src" / "io";
    int readers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(io)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || talkers.count(name)) continue;
        ++readers;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("#include \"", 0) != 0) continue;
            EXPECT_NE(line.rfind("#include \"console/", 0), 0u) << "src/io/" << name << ": " << line;
            EXPECT_NE(line.rfind("#include \"plot/", 0), 0u) << "src/io/" << name << ": " << line;
            // Nor through a header that does.
            for (const std::string& t : talkers)
                EXPECT_NE(line, "#include \"io/" + t + "\"") << "src/io/" << name;
        }
    }
    EXPECT_GT(readers, 20);
}

}  // namespace
