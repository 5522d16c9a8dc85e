#pragma once
// Entry point shared by the pith-offset fuzz target and its regression test: the offset
// dialogue and reader run on an arbitrary byte string written to a file, once with the
// single-column method and once with a record format taken from the first line of the input.
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "entry_points.hpp"
#include "io/output_files.hpp"
#include "model/format.hpp"
#include "model/run_options.hpp"
#include "select/pithy.hpp"

namespace kestrovan::fuzzing {

// The table the offsets are matched against has this many series.
inline constexpr int kPithSeries = 10;

inline std::string run_pithy_once(const std::string& path, std::string_view content,
                                  const std::string& answers) {
    {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!f) return "cannot write the offset file " + path;
    }
    QuietConsole q(answers);
    OutputFiles files;
    files.data_name = "site.rwl";
    RunOptions params;
    SeriesTable table;
    for (int i = 0; i < kPithSeries; ++i) {
        table.ids.push_back(fixed_width("S" + std::to_string(i), 8));
        table.years.push_back({1900, 1909, 10});
    }
    table.data.resize(10, kPithSeries);
    table.update_summary();
    try {
        pithy(q.console, files, table, params);
    } catch (const ProgramStop&) {
        return {};
    }
    if (!params.pith_present) return "offsets read but the flag is not set";
    if (static_cast<int>(params.pith_offsets.size()) != kPithSeries) return "one offset per series expected";
    return {};
}

// `path` is a scratch file (at most 50 characters, the longest name the dialogue takes).
inline std::string run_pithy(std::string_view data, const std::string& path) {
    if (path.size() > 50) return "scratch path too long for the dialogue: " + path;
    // Method 1, "(i4)", no header lines, the whole input as the file.
    std::string result = run_pithy_once(path, data, "T\n" + path + "\n1\n0\n");
    if (result.empty()) {
        // Method 2: the first line is the record format (and the number of header lines comes
        // from its first byte), the rest is the file.
        std::string_view rest = data;
        std::string format(take_line(rest));
        const int headers = format.empty() ? 0 : static_cast<unsigned char>(format[0]) % 4;
        result = run_pithy_once(path, rest,
                                "T\n" + path + "\n2\n" + std::to_string(headers) + "\n" + format + "\n");
    }
    std::remove(path.c_str());
    return result;
}

}  // namespace kestrovan::fuzzing
