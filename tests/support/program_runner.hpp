#pragma once
// Running the built program in the current directory, for the end-to-end tests.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace kestrovan::testing {

// Runs the program with `answers` on standard input; returns its exit status and leaves the
// console transcript in out.txt. `prefix` runs before it in the same shell (a ulimit, say).
inline int run_kestrovan(const std::string& answers, const std::string& args = "--no-plots",
                         const std::string& prefix = "") {
    {
        std::ofstream f("answers.txt");
        f << answers;
    }
    const std::string cmd = "sh -c '" + prefix + (prefix.empty() ? "" : "; ") + "exec " +
                            std::string(KESTROVAN_BINARY) + " " + args + " < answers.txt > out.txt 2>&1'";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs the program in directory `dir` (created if needed, with copies of the bundled `data`
// files) with `answers` on standard input; returns its exit status and leaves the console
// transcript in dir/out.txt.
inline int run_kestrovan_in(const std::string& dir, const std::string& answers,
                            const std::vector<std::string>& data, const std::string& args = "--no-plots") {
    std::filesystem::create_directories(dir);
    for (const auto& name : data)
        std::filesystem::copy_file(std::string(KESTROVAN_DATA_DIR) + "/" + name, dir + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir + "/answers.txt") << answers;
    const std::string cmd =
        "cd '" + dir + "' && " + std::string(KESTROVAN_BINARY) + " " + args + " < answers.txt > out.txt 2>&1";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Copies a bundled data file into the current directory.
inline void copy_example_data(const std::string& name) {
    std::filesystem::copy_file(std::string(KESTROVAN_DATA_DIR) + "/" + name, name,
                               std::filesystem::copy_options::overwrite_existing);
}

// The text of a bundled answer file.
inline std::string example_answers(const std::string& name) {
    return read_file(std::string(KESTROVAN_EXAMPLES_DIR) + "/answers/" + name);
}

}  // namespace kestrovan::testing
