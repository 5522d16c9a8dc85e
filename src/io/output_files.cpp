#include "io/output_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/output_table.hpp"
#include "console/console.hpp"
#include "console/stop.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

// The data file's own name up to its first full stop (no directory).
std::string own_base(const std::string& data_name) {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    return own.substr(0, own.find('.'));
}

constexpr std::size_t kSpectraBaseWidth = 40;

// The content of a lock file, so that a file of another kind under its name is never removed.
constexpr char kLockMark[] = "Kestrovan output lock\n";

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::exists(a, ec) && std::filesystem::exists(b, ec) &&
           std::filesystem::equivalent(a, b, ec);
}

}  // namespace

bool OutputLock::acquire(const std::string& path) {
    release();
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            throw ProgramStop(StopKind::Abnormal,
                              "Cannot create the lock file " + path + ": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            ::close(fd);
            if (why == EWOULDBLOCK) return false;
            throw ProgramStop(StopKind::Abnormal, "Cannot lock " + path + ": " + std::strerror(why));
        }
        // The run that held the lock may have removed its file between our open and flock: the
        // lock then sits on a file no other run will find. Take it on the file under the name.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            // The file is removed at the end: it must be a lock file (empty or marked as one),
            // never a file of the user's that happens to have the name.
            char head[sizeof kLockMark - 1] = {};
            const ssize_t got = S_ISREG(held.st_mode) ? ::pread(fd, head, sizeof head, 0) : -1;
            const bool ours = held.st_size == 0 || (got == static_cast<ssize_t>(sizeof head) &&
                                                    std::memcmp(head, kLockMark, sizeof head) == 0);
            if (!S_ISREG(held.st_mode) || !ours) {
                ::close(fd);
                throw ProgramStop(StopKind::Abnormal, "The file " + path +
                                                          " is not a lock file of Kestrovan, and a run "
                                                          "needs that name: nothing was written; rename it.");
            }
            if (held.st_size == 0 && ::write(fd, kLockMark, sizeof kLockMark - 1) < 0) {
                // An unmarked lock works as well; the disk may be full.
            }
            fd_ = fd;
            path_ = path;
            return true;
        }
        ::close(fd);
    }
}

void OutputLock::release() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());  // removed while still held, so that no other run locks it meanwhile
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

void split_path(const std::string& path, std::string& dir, std::string& own) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        dir.clear();
        own = path;
    } else {
        dir = path.substr(0, slash + 1);
        own = path.substr(slash + 1);
    }
}

std::string OutputFiles::base_name() const {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    if (!output_dir.empty()) dir = output_dir + (output_dir.back() == '/' ? "" : "/");
    auto dot = own.find('.');
    return dir + (dot == std::string::npos ? own : own.substr(0, dot));
}

bool OutputFiles::names_kept_apart() const {
    const std::string own = own_base(data_name);
    return own.find(' ') != std::string::npos || own.size() > kSpectraBaseWidth;
}

std::string OutputFiles::spectra_base() const {
    if (names_kept_apart()) return base_name();
    std::string dir, own, ignored;
    split_path(rtrim(data_name), ignored, own);
    split_path(base_name(), dir, ignored);
    auto stop = own.find_first_of(". ");
    own = own.substr(0, std::min<std::size_t>(stop, kSpectraBaseWidth));
    return dir + own;
}

std::string OutputFiles::report_name() const {
    std::string dir, own;
    split_path(base_name(), dir, own);
    std::string name = own + "_out_v" + kVersion + ".txt";
    if (names_kept_apart()) return dir + name;
    std::string closed;
    for (char c : name)
        if (c != ' ') closed += c;
    return dir + closed;
}

std::vector<std::string> OutputFiles::output_names() const {
    std::vector<std::string> results;
    for (const OutputFileRow& row : output_file_table()) {
        const std::string base = row.id == OutputFile::Spectra ? spectra_base() : base_name();
        for (const std::string& suffix : row.suffixes) results.push_back(base + suffix);
    }
    // Each result file is written under its staged name first.
    std::vector<std::string> names{report_name()};
    for (const std::string& name : results) {
        names.push_back(name);
        names.push_back(name + kStagedSuffix);
    }
    return names;
}

void OutputFiles::refuse_if_data_file(const std::string& path) const {
    if (same_file(path, data_name))
        throw ProgramStop(StopKind::Abnormal, "The output file " + path + " is the data file " + data_name +
                                                  " under another name (a link): nothing was written to it. "
                                                  "Remove or rename " +
                                                  path + " and run again.");
}

void OutputFiles::begin_writing(Console& console) {
    std::error_code made;
    if (!output_dir.empty() && !std::filesystem::is_directory(output_dir, made) &&
        !std::filesystem::create_directories(output_dir, made))
        throw ProgramStop(StopKind::Abnormal, "Cannot create the output directory " + output_dir +
                                                  (made ? ": " + made.message() : std::string()));
    if (!lock.acquire(lock_name()))
        throw ProgramStop(StopKind::Abnormal, "Another run is writing the output files of " + base_name() +
                                                  " (it holds " + lock_name() +
                                                  "): nothing was written; wait for it to end, or write into "
                                                  "another directory.");
    const std::vector<std::string> names = output_names();
    for (const std::string& name : names) refuse_if_data_file(name);
    for (const std::string& name : names) {
        std::error_code ec;
        // Removes a link itself, never the file it points to.
        if (std::filesystem::is_symlink(name, ec) || std::filesystem::exists(name, ec))
            std::filesystem::remove(name, ec);
    }
    report.open_held();
    if (names_kept_apart()) {
        const std::string note =
            "The name of the data file holds a blank or is longer than 40 characters: its";
        const std::string note2 =
            "report and spectra are named " + report_name() + " and " + spectra_base() + "_spectra.txt";
        const std::string note3 = "so that they cannot replace the files of another data file.";
        for (const std::string& l : {note, note2, note3}) {
            console.line(l, 2);
            report.line(l, 2);
        }
    }
}

std::vector<std::string> OutputFiles::files_written() const {
    std::vector<std::string> out;
    for (const std::string& name : output_names()) {
        std::error_code ec;
        if (name != report_name() && !name.ends_with(kStagedSuffix) && std::filesystem::exists(name, ec))
            out.push_back(name);
    }
    if (!saved_selection.empty()) out.push_back(saved_selection);
    return out;
}

std::string OutputFiles::summary_name() const { return base_name() + output_suffix(OutputFile::Summary); }

std::string OutputFiles::lock_name() const { return base_name() + ".lock"; }

void OutputFiles::complete_header() {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    const std::string text[3] = {own, "ring widths read from a file without header lines",
                                 "written by kestrovan"};
    const std::string site = fixed_width(own.substr(0, own.find('.')), 6);
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (!rtrim(header[k]).empty()) continue;
        header[k] = fixed_width(site + "  " + std::to_string(k + 1) + " " + text[k], 80);
        header[k] = fixed_width(header[k], 88);
    }
}

std::string OutputFiles::chronology_id() const {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    return fixed_width(own, 6) + "  ";
}

}  // namespace kestrovan
