#include "io/loaders.hpp"

#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "io/column_readers.hpp"
#include "io/compact.hpp"
#include "io/csv_reader.hpp"
#include "io/heidelberg.hpp"
#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "io/tridas.hpp"
#include "io/tucson_loader.hpp"

namespace kestrovan {

using detail::load_tucson;
using detail::not_read;
using detail::read_columns;
using detail::rewind;
using detail::sentinel_form;
using detail::TableBuilder;

namespace {

void clear_table(SeriesTable& table) {
    table.data.resize(0, 0);
    table.years.clear();
    table.ids.clear();
    table.file_positions.clear();
    table.series_in_file = 0;
    table.summary = {};
}

// The exchange formats: read into series, then into the table with names of 8 characters.
bool read_exchange(Console& console, std::istream& file, FileKind kind, const LoadSettings& settings,
                   int lines_before, SeriesTable& table, LoadNotes& notes) {
    std::vector<InputSeries> series;
    bool ok = false;
    switch (kind) {
        case FileKind::Csv: ok = read_csv(console, file, settings.unit_parts, lines_before, series); break;
        case FileKind::Heidelberg: ok = read_heidelberg(console, file, series); break;
        case FileKind::Compact: ok = read_compact(console, file, series); break;
        case FileKind::Tridas: ok = read_tridas(console, file, series); break;
        default: break;
    }
    return ok && build_series_table(console, series, table, notes);
}

// True when the whole file reads as Tucson decade lines of one kind (nothing is shown).
bool reads_as_tucson(std::istream& file, bool rings) {
    std::istringstream none;
    std::ostringstream sink;
    Console quiet(none, sink);
    SeriesTable t;
    std::array<std::string, 3> h;
    rewind(file);
    skip_byte_order_mark(file);
    const bool ok = load_tucson(quiet, file, rings, t, h);
    rewind(file);
    return ok;
}

}  // namespace

bool takes_header_lines(FileKind kind) {
    return kind == FileKind::SingleColumn || kind == FileKind::MultipleColumns || kind == FileKind::Csv;
}

std::string file_kind_title(FileKind kind) {
    switch (kind) {
        case FileKind::RingWidths: return "Tucson ring widths";
        case FileKind::Chronologies: return "Tucson chronologies";
        case FileKind::SingleColumn: return "single column";
        case FileKind::MultipleColumns: return "multiple columns";
        case FileKind::Csv: return "CSV table";
        case FileKind::Heidelberg: return "Heidelberg file";
        case FileKind::Compact: return "compact format";
        case FileKind::Tridas: return "TRiDaS document";
        case FileKind::Recognised: break;
    }
    return "not recognised";
}

FileKind recognise_kind(std::istream& file, std::string& reason) {
    rewind(file);
    skip_byte_order_mark(file);
    std::string start(64 * 1024, '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(file.gcount()));
    rewind(file);
    if (looks_like_tridas(start)) {
        reason = "an XML document that names TRiDaS";
        return FileKind::Tridas;
    }
    std::istringstream lines(start);
    std::string line;
    int number = 0, shown = 0;
    while (read_text_line(lines, line) && shown < 20) {
        ++number;
        if (all_blank(line)) continue;
        if (is_heidelberg_header(line)) {
            reason = "line " + std::to_string(number) + " is HEADER:";
            return FileKind::Heidelberg;
        }
        if (shown++ > 0) continue;
        if (parse_compact_header(line)) {
            reason = "line " + std::to_string(number) + " is a header line of the compact format";
            return FileKind::Compact;
        }
        if (looks_like_csv_header(line)) {
            reason = "line " + std::to_string(number) + " is a header row that begins with the year column";
            return FileKind::Csv;
        }
    }
    const bool rings = reads_as_tucson(file, true);
    const bool chronologies = reads_as_tucson(file, false);
    if (rings != chronologies) {
        reason = std::string("the whole file reads as Tucson decade lines of ") +
                 (rings ? "ring widths" : "chronologies") + " and not as the other kind";
        return rings ? FileKind::RingWidths : FileKind::Chronologies;
    }
    reason = rings ? "it reads as Tucson ring widths and as Tucson chronologies alike"
                   : "it is neither a CSV table, Heidelberg, compact, TRiDaS nor a Tucson file that "
                     "reads without a fault";
    return FileKind::Recognised;
}

bool build_series_table(Console& console, std::vector<InputSeries>& series, SeriesTable& table,
                        LoadNotes& notes) {
    std::vector<std::string> names;
    names.reserve(series.size());
    for (const InputSeries& s : series) names.push_back(s.name);
    const std::vector<std::string> shorts = short_names(names);
    TableBuilder builder(console);
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (shorts[i] != names[i]) notes.renamed.emplace_back(printable(names[i]), printable(shorts[i]));
        if (!builder.add(shorts[i], series[i].first_year, series[i].values, series[i].line)) return false;
    }
    builder.finish(table);
    return true;
}

bool read_data(Console& console, std::istream& file, const LoadSettings& settings, SeriesTable& table,
               std::array<std::string, 3>& header, LoadNotes* notes) {
    LoadNotes local;
    LoadNotes& found = notes ? *notes : local;
    found = {};
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    FileKind kind = settings.kind;
    if (kind == FileKind::Recognised) {
        std::string reason;
        kind = recognise_kind(file, reason);
        console.blank_line();
        if (kind == FileKind::Recognised) {
            console.line("The format of the data file is not recognised: " + reason + ".", 2);
            console.line("Choose its kind from the menu (single and multiple columns are never recognised).",
                         2);
            not_read(console);
            return false;
        }
        found.recognised = file_kind_title(kind);
        console.line("Format recognised: " + found.recognised + " (" + reason + ").", 2);
    }
    // Every try reads the file from its start, whatever an earlier try or the help did.
    rewind(file);
    skip_byte_order_mark(file);
    if (kind == FileKind::RingWidths || kind == FileKind::Chronologies)
        return load_tucson(console, file, kind == FileKind::RingWidths, table, header);
    int skipped = 0;
    std::string discard;
    // A recognised table is read from its first line: its header row was found there.
    const int skip = settings.kind == FileKind::Recognised ? 0 : settings.header_lines;
    while (takes_header_lines(kind) && skipped < skip && read_text_line(file, discard)) ++skipped;
    bool ok = false;
    if (kind == FileKind::SingleColumn)
        ok = rd1col(console, file, table, skipped);
    else if (kind == FileKind::MultipleColumns)
        ok = read_columns(console, file, settings.columns, sentinel_form(settings.sentinel), table, skipped);
    else
        ok = read_exchange(console, file, kind, settings, skipped, table, found);
    if (ok) {
        const std::vector<std::string> renamed = renamed_lines(found);
        if (!renamed.empty()) console.blank_line();
        for (const std::string& l : renamed) console.line(l, 2);
        console.blank_line();
        console.line("Input data read successfully", 2);
        return true;
    }
    clear_table(table);
    not_read(console);
    return false;
}

bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header,
             LoadSettings* chosen) {
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    const LoadSettings settings = ask_load_settings(console, file);
    if (chosen) *chosen = settings;
    return read_data(console, file, settings, table, header);
}

}  // namespace kestrovan
