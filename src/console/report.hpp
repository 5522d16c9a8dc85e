#pragma once
// The run report file: appended to by every stage, flushed after every line (so that a failed
// write, a full disk say, leaves everything written before it) and closed on every way the
// program ends. A failed write stops the run with a clear message.
//
// The run start names the report before the data file is read but holds its lines in memory
// (hold): a run that stops before its data are read leaves the report of an earlier run alone.
// open_held() then creates the file with the lines held so far.
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

class Report {
public:
    Report() = default;
    // Creates or replaces the file; throws ProgramStop (abnormal) when it cannot be created.
    void open(const std::string& path);
    bool is_open() const { return file_.is_open(); }
    const std::string& path() const { return path_; }

    // Names the report and keeps its lines in memory until open_held().
    void hold(const std::string& path);
    bool is_held() const { return held_; }
    // Creates the held report and writes the lines held so far.
    void open_held();
    // Drops a held report without creating its file.
    void discard();

    // One line (text at `column`), then a line end. Writing to a closed report does nothing.
    void line(std::string_view text = {}, int column = 1);
    void blank_line() { line(); }

    void close();
    ~Report() { close(); }

private:
    void write_line(const std::string& text);

    std::ofstream file_;
    std::string path_;
    bool held_ = false;
    std::vector<std::string> held_lines_;
};

// The suffix of an output file while it is written, before it takes its own name.
inline constexpr const char* kStagedSuffix = ".part";

// An output file written under a staged name (its own name + kStagedSuffix, in the same folder)
// that takes its own name, replacing the file there, only on commit(), once it is complete: a run
// that fails on the way (a full disk) or is stopped (a signal) never leaves a cut-off file under
// the final name. Destroyed before commit, it removes the staged file.
class StagedOutputFile {
public:
    // Creates the staged file; throws ProgramStop (abnormal) naming `path` when it cannot.
    explicit StagedOutputFile(std::string path);
    StagedOutputFile(const StagedOutputFile&) = delete;
    StagedOutputFile& operator=(const StagedOutputFile&) = delete;
    ~StagedOutputFile();

    std::ofstream& stream() { return file_; }
    // Flushes, checks and closes the file and gives it its own name; throws ProgramStop
    // (abnormal) naming `path` when it could not be written or renamed (the staged file is then
    // removed).
    void commit();

private:
    std::string path_, staged_;
    std::ofstream file_;
    bool pending_ = true;
};

// Creates or replaces an output file for writing; throws ProgramStop (abnormal) with a clear
// message naming the file when it cannot be created.
std::ofstream create_output_file(const std::string& path);
// Checks a stream after writing; throws ProgramStop (abnormal) naming the file on failure.
void check_written(std::ofstream& file, const std::string& path);

}  // namespace kestrovan
