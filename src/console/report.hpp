#pragma once
// The run report file: opened at run start, appended to by every stage, flushed and closed on
// every way the program ends. A failed write stops the run with a clear message.
#include <fstream>
#include <string>
#include <string_view>

namespace kestrovan {

class Report {
public:
    Report() = default;
    // Creates or replaces the file; throws ProgramStop (abnormal) when it cannot be created.
    void open(const std::string& path);
    bool is_open() const { return file_.is_open(); }
    const std::string& path() const { return path_; }

    // One line (text at `column`), then a line end. Writing to a closed report does nothing.
    void line(std::string_view text = {}, int column = 1);
    void blank_line() { line(); }

    void close();
    ~Report() { close(); }

private:
    std::ofstream file_;
    std::string path_;
};

// Creates or replaces an output file for writing; throws ProgramStop (abnormal) with a clear
// message naming the file when it cannot be created.
std::ofstream create_output_file(const std::string& path);
// Checks a stream after writing; throws ProgramStop (abnormal) naming the file on failure.
void check_written(std::ofstream& file, const std::string& path);

}  // namespace kestrovan
