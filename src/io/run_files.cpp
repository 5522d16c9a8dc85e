#include "io/run_files.hpp"

#include "console/format.hpp"

namespace kestrovan {

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

std::string RunFiles::base_name() const {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    auto dot = own.find('.');
    return dir + (dot == std::string::npos ? own : own.substr(0, dot));
}

std::string RunFiles::spectra_base() const {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    auto stop = own.find_first_of(". ");
    own = own.substr(0, std::min<std::size_t>(stop, 40));
    return dir + own;
}

std::string RunFiles::report_name() const {
    std::string dir, own;
    split_path(base_name(), dir, own);
    std::string name = own + "_out_v" + kVersion + ".txt";
    std::string closed;
    for (char c : name)
        if (c != ' ') closed += c;
    return dir + closed;
}

std::string RunFiles::chronology_id() const {
    std::string dir, own;
    split_path(rtrim(data_name), dir, own);
    return fixed_width(own, 6) + "  ";
}

}  // namespace kestrovan
