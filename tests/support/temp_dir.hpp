#pragma once
// A temporary directory for a test, entered on construction and removed (with the previous
// working directory restored) on destruction. `tag` goes into the directory's name.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace kestrovan::testing {

class TempDir {
public:
    explicit TempDir(const std::string& tag = "") {
        namespace fs = std::filesystem;
        previous_ = fs::current_path();
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("kestrovan-test-" + tag + (tag.empty() ? "" : "-") +
                                             std::to_string(rd()) + "-" + std::to_string(rd()));
        fs::create_directories(path_);
        fs::current_path(path_);
    }
    ~TempDir() {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::current_path(previous_, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full name of a file in the directory.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// The lines of a text (a last line without its line end counts).
inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

inline std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(f, line)) lines.push_back(line);
    return lines;
}

}  // namespace kestrovan::testing
