#pragma once
// `kestrovan check FILE [--format KIND] [--out DIR]`: the crossdating checks alone, on any data
// file the readers take. Prints the summary and the flagged series, writes <base>_xdate.txt and
// <base>_xdate.json (beside the data file, or into DIR), and exits 0 whether or not anything is
// flagged (1 when the file cannot be read or the files cannot be written).
#include <iosfwd>
#include <string>

namespace kestrovan {

struct CheckOptions {
    std::string data;             // the data file
    std::string format = "auto";  // a run file's format name ("auto": recognised from the content)
    std::string out_dir;          // "" = beside the data file
};

int run_check(const CheckOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kestrovan
