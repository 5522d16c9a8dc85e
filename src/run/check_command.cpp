#include "run/check_command.hpp"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "console/console.hpp"
#include "console/report.hpp"
#include "console/stop.hpp"
#include "io/formats.hpp"
#include "io/loaders.hpp"
#include "io/output_files.hpp"
#include "io/output_table.hpp"
#include "io/text_fields.hpp"
#include "run/crossdating_output.hpp"
#include "xdate/crossdating_text.hpp"

namespace kestrovan {

namespace {

// Reads the data file as `format` says, printing what the reader notes on `console`.
bool read_for_check(Console& console, const CheckOptions& options, SeriesTable& table,
                    std::array<std::string, 3>& header) {
    const FileFormat* format = file_format_named(options.format);
    if (!format) {
        console.line("Unknown format \"" + one_line(options.format) + "\": " + format_names_text(), 2);
        return false;
    }
    std::ifstream file(options.data, std::ios::binary);
    if (!file) {
        console.line("Cannot open the data file " + one_line(options.data), 2);
        return false;
    }
    LoadSettings settings;
    settings.kind = format->kind;
    return read_data(console, file, settings, table, header);
}

// Writes one output file of the check under its staged name first.
void write_check_file(const OutputFiles& files, OutputFile which, const std::string& text) {
    const std::string path = files.base_name() + output_suffix(which);
    files.refuse_if_data_file(path);
    StagedOutputFile out(path);
    out.stream() << text;
    out.commit();
}

}  // namespace

int run_check(const CheckOptions& options, std::ostream& out, std::ostream& err) {
    std::istringstream no_input;
    Console console(no_input, out);
    console.set_unattended(true);
    try {
        SeriesTable table;
        std::array<std::string, 3> header{};
        if (!read_for_check(console, options, table, header)) {
            console.flush();
            err << "kestrovan: " << one_line(options.data) << ": the data file could not be read\n";
            return 1;
        }
        table.mark_as_read();
        OutputFiles files;
        files.data_name = options.data;
        files.output_dir = options.out_dir;
        std::error_code ec;
        if (!options.out_dir.empty()) std::filesystem::create_directories(options.out_dir, ec);
        const CrossdatingReport report = crossdate(table, CrossdatingOptions{});
        write_check_file(files, OutputFile::Crossdating, crossdating_text(report, options.data));
        write_check_file(files, OutputFile::CrossdatingJson, crossdating_json(report).dump(2) + "\n");
        console.blank_line();
        std::istringstream lines(crossdating_summary_lines(report));
        for (std::string line; std::getline(lines, line);) console.line(line);
        console.line("Written: " + files.base_name() + output_suffix(OutputFile::Crossdating) + ", " +
                     files.base_name() + output_suffix(OutputFile::CrossdatingJson));
        console.flush();
        return 0;
    } catch (const ProgramStop& stop) {
        console.flush();
        err << "kestrovan: " << stop.what() << "\n";
        return 1;
    }
}

}  // namespace kestrovan
