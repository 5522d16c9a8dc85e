#include "console/report.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "console/stop.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {
[[noreturn]] void fail(const std::string& what, const std::string& path) {
    std::string msg = what + " " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    throw ProgramStop(StopKind::Abnormal, msg);
}
}  // namespace

void Report::open(const std::string& path) {
    close();
    held_ = false;
    held_lines_.clear();
    path_ = path;
    errno = 0;
    file_.open(path, std::ios::out | std::ios::trunc);
    if (!file_) fail("Cannot create the report file", path);
}

void Report::hold(const std::string& path) {
    close();
    path_ = path;
    held_ = true;
    held_lines_.clear();
}

void Report::open_held() {
    if (!held_) return;
    std::vector<std::string> lines = std::move(held_lines_);
    open(path_);
    for (const std::string& l : lines) write_line(l);
}

void Report::discard() {
    held_ = false;
    held_lines_.clear();
}

void Report::write_line(const std::string& text) {
    file_ << text << '\n';
    file_.flush();
    if (!file_) {
        errno = 0;
        std::string p = path_;
        file_.close();
        fail("Cannot write to the report file", p);
    }
}

void Report::line(std::string_view text, int column) {
    const std::string l = text.empty() ? std::string() : at_column(column, text);
    if (held_) {
        held_lines_.push_back(l);
        return;
    }
    if (!file_.is_open()) return;
    write_line(l);
}

void Report::close() {
    if (file_.is_open()) {
        file_.flush();
        file_.close();
    }
}

std::ofstream create_output_file(const std::string& path) {
    errno = 0;
    std::ofstream f(path, std::ios::out | std::ios::trunc);
    if (!f) fail("Cannot create the output file", path);
    return f;
}

StagedOutputFile::StagedOutputFile(std::string path)
    : path_(std::move(path)), staged_(path_ + kStagedSuffix) {
    errno = 0;
    file_.open(staged_, std::ios::out | std::ios::trunc);
    if (!file_) {
        pending_ = false;
        fail("Cannot create the output file", path_);
    }
}

StagedOutputFile::~StagedOutputFile() {
    if (!pending_) return;
    if (file_.is_open()) file_.close();
    std::error_code ec;
    std::filesystem::remove(staged_, ec);
}

void StagedOutputFile::commit() {
    errno = 0;
    file_.flush();
    // A full disk may show only when the file is closed (the last buffer written).
    if (file_) file_.close();
    if (!file_) {
        const int why = errno;
        std::error_code ec;
        if (file_.is_open()) file_.close();
        std::filesystem::remove(staged_, ec);
        pending_ = false;
        throw ProgramStop(StopKind::Abnormal, "Cannot write to the output file " + path_ + ": " +
                                                  (why ? std::strerror(why) : "the write failed"));
    }
    std::error_code ec;
    std::filesystem::rename(staged_, path_, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(staged_, ignored);
        pending_ = false;
        throw ProgramStop(StopKind::Abnormal,
                          "Cannot replace the output file " + path_ + ": " + ec.message());
    }
    pending_ = false;
}

void check_written(std::ofstream& file, const std::string& path) {
    file.flush();
    if (!file) {
        errno = 0;
        fail("Cannot write to the output file", path);
    }
}

}  // namespace kestrovan
