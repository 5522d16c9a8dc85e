#include "io/formats.hpp"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "io/column_readers.hpp"
#include "io/compact.hpp"
#include "io/csv_reader.hpp"
#include "io/heidelberg.hpp"
#include "io/series_input.hpp"
#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "io/tridas.hpp"
#include "io/tucson_loader.hpp"

namespace kestrovan {

using detail::not_read;
using detail::read_successfully;
using detail::rewind;

namespace {

void clear_table(SeriesTable& table) {
    table.data.resize(0, 0);
    table.years.clear();
    table.ids.clear();
    table.file_positions.clear();
    table.series_in_file = 0;
    table.summary = {};
}

// The closing lines of a read that does not close itself: the renamed series and the success,
// or the closing of a refusal (the table left empty).
bool closed(const FormatRead& r, bool ok) {
    if (!ok) {
        clear_table(r.table);
        not_read(r.notes);
        return false;
    }
    const std::vector<std::string> renamed = renamed_lines(r.notes);
    if (!renamed.empty()) r.notes.blank_line();
    for (const std::string& l : renamed) r.notes.message(l, 2);
    read_successfully(r.notes);
    return true;
}

// ---- the reads -------------------------------------------------------------------------------

// The Tucson loader closes its reads itself.
bool read_ring_widths(const FormatRead& r) {
    return detail::load_tucson(r.file, true, r.table, r.header, r.notes);
}
bool read_chronologies(const FormatRead& r) {
    return detail::load_tucson(r.file, false, r.table, r.header, r.notes);
}

bool read_single_column(const FormatRead& r) {
    return closed(r, rd1col(r.file, r.table, r.notes, r.lines_before));
}

bool read_multiple_columns(const FormatRead& r) {
    const detail::ColumnLayout layout{r.settings.columns, detail::sentinel_form(r.settings.sentinel)};
    return closed(r, detail::read_columns(r.file, layout, r.table, r.notes, r.lines_before));
}

// The exchange formats are read into series, then into the table with names of 8 characters.
template <bool (*read)(std::istream&, std::vector<InputSeries>&, LoadNotes&)>
bool read_exchange(const FormatRead& r) {
    std::vector<InputSeries> series;
    return closed(r, read(r.file, series, r.notes) && build_series_table(series, r.table, r.notes));
}

bool read_csv_table(const FormatRead& r) {
    std::vector<InputSeries> series;
    return closed(r, read_csv(r.file, r.settings.unit_parts, r.lines_before, series, r.notes) &&
                         build_series_table(series, r.table, r.notes));
}

// ---- the recognisers -------------------------------------------------------------------------

Recognition recognise_tridas(FileProbe& probe) {
    if (!looks_like_tridas(probe.start())) return {};
    return {true, 0, "an XML document that names TRiDaS"};
}

Recognition recognise_heidelberg(FileProbe& probe) {
    for (const FileProbe::Line& l : probe.lines())
        if (is_heidelberg_header(l.text))
            return {true, l.number, "line " + std::to_string(l.number) + " is HEADER:"};
    return {};
}

// The formats that the first line that holds something shows.
Recognition recognise_compact(FileProbe& probe) {
    if (probe.lines().empty() || !parse_compact_header(probe.lines().front().text)) return {};
    const int n = probe.lines().front().number;
    return {true, n, "line " + std::to_string(n) + " is a header line of the compact format"};
}

Recognition recognise_csv(FileProbe& probe) {
    if (probe.lines().empty() || !looks_like_csv_header(probe.lines().front().text)) return {};
    const int n = probe.lines().front().number;
    return {true, n, "line " + std::to_string(n) + " is a header row that begins with the year column"};
}

// Tucson decade files: exactly one of the two decade kinds must read the whole file.
Recognition recognise_tucson(FileProbe& probe, bool rings) {
    const bool mine = probe.reads_without_fault(rings ? FileKind::RingWidths : FileKind::Chronologies);
    const bool other = probe.reads_without_fault(rings ? FileKind::Chronologies : FileKind::RingWidths);
    if (mine && other) return {false, 0, "it reads as Tucson ring widths and as Tucson chronologies alike"};
    if (!mine) return {};
    return {true, 0,
            std::string("the whole file reads as Tucson decade lines of ") +
                (rings ? "ring widths" : "chronologies") + " and not as the other kind"};
}
Recognition recognise_ring_widths(FileProbe& probe) { return recognise_tucson(probe, true); }
Recognition recognise_chronologies(FileProbe& probe) { return recognise_tucson(probe, false); }

constexpr const char* kTucsonAutoName = "a Tucson file that reads without a fault";

}  // namespace

// clang-format off
const std::array<FileFormat, 9> kFileFormats{{
    {FileKind::RingWidths, "ring-widths", 1, "Raw ring-widths (Decade)", "Tucson ring widths",
     kTucsonAutoName, false, false, recognise_ring_widths, true, read_ring_widths},
    {FileKind::Chronologies, "chronologies", 2, "Chronologies (Index)", "Tucson chronologies",
     kTucsonAutoName, false, false, recognise_chronologies, true, read_chronologies},
    {FileKind::SingleColumn, "single-column", 3, "Single Column", "single column",
     "", true, false, nullptr, false, read_single_column},
    {FileKind::MultipleColumns, "multiple-columns", 4, "Multiple Columns", "multiple columns",
     "", true, false, nullptr, false, read_multiple_columns},
    {FileKind::Csv, "csv", 5, "CSV or TSV table", "CSV table",
     "a CSV table", true, true, recognise_csv, false, read_csv_table},
    {FileKind::Heidelberg, "heidelberg", 6, "Heidelberg (.fh)", "Heidelberg file",
     "Heidelberg", false, false, recognise_heidelberg, false, read_exchange<read_heidelberg>},
    {FileKind::Compact, "compact", 7, "Compact format", "compact format",
     "compact", false, false, recognise_compact, false, read_exchange<read_compact>},
    {FileKind::Tridas, "tridas", 8, "TRiDaS XML", "TRiDaS document",
     "TRiDaS", false, false, recognise_tridas, false, read_exchange<read_tridas>},
    {FileKind::Recognised, "auto", 9, "Recognise the format", "",
     "", false, true, nullptr, false, nullptr},
}};
// clang-format on

const FileFormat& file_format(FileKind kind) {
    for (const FileFormat& f : kFileFormats)
        if (f.kind == kind) return f;
    throw std::logic_error("file_format: a kind without a row");
}

const FileFormat* file_format_named(std::string_view name) {
    for (const FileFormat& f : kFileFormats)
        if (name == f.name) return &f;
    return nullptr;
}

const FileFormat* file_format_at_menu(int number) {
    for (const FileFormat& f : kFileFormats)
        if (f.menu == number) return &f;
    return nullptr;
}

int last_menu_number() {
    int last = 0;
    for (const FileFormat& f : kFileFormats) last = std::max(last, f.menu);
    return last;
}

std::optional<FileKind> file_kind_of(std::string_view name) {
    const FileFormat* f = file_format_named(name);
    if (!f) return std::nullopt;
    return f->kind;
}

std::string file_kind_name(FileKind kind) { return file_format(kind).name; }

bool takes_header_lines(FileKind kind) { return file_format(kind).header_lines; }

std::string format_names_text(bool FileFormat::*only) {
    std::vector<std::string> names;
    for (const FileFormat& f : kFileFormats)
        if (!only || f.*only) names.push_back("\"" + std::string(f.name) + "\"");
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

FileProbe::FileProbe(std::istream& file) : file_(file) {
    rewind(file);
    skip_byte_order_mark(file);
    start_.assign(64 * 1024, '\0');
    file.read(start_.data(), static_cast<std::streamsize>(start_.size()));
    start_.resize(static_cast<std::size_t>(file.gcount()));
    rewind(file);
    std::istringstream lines(start_);
    std::string line;
    constexpr std::size_t kLinesLookedAt = 20;
    for (int number = 1; lines_.size() < kLinesLookedAt && read_text_line(lines, line); ++number)
        if (!all_blank(line)) lines_.push_back({number, line});
}

bool FileProbe::reads_without_fault(FileKind kind) {
    for (const auto& [asked, answer] : reads_)
        if (asked == kind) return answer;
    SeriesTable table;
    std::array<std::string, 3> header;
    LoadNotes dropped;
    LoadSettings settings;
    settings.kind = kind;
    rewind(file_);
    skip_byte_order_mark(file_);
    const bool ok = file_format(kind).read({file_, settings, 0, table, header, dropped});
    rewind(file_);
    reads_.emplace_back(kind, ok);
    return ok;
}

namespace {

// Why a file fits no kind: "it is neither a CSV table, ... nor a Tucson file that reads without
// a fault", the recognisers that read the whole file named last.
std::string fits_none() {
    std::vector<std::string> names;
    for (const bool whole : {false, true})
        for (const FileFormat& f : kFileFormats)
            if (f.recognise && f.whole_file == whole && *f.auto_name &&
                std::find(names.begin(), names.end(), f.auto_name) == names.end())
                names.emplace_back(f.auto_name);
    std::string text = "it is neither";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? " " : i + 1 == names.size() ? " nor " : ", ") + names[i];
    return text;
}

}  // namespace

FileKind recognise_kind(std::istream& file, std::string& reason) {
    FileProbe probe(file);
    std::string why_not;
    for (const bool whole : {false, true}) {
        const FileFormat* best = nullptr;
        Recognition shown;
        for (const FileFormat& f : kFileFormats) {
            if (!f.recognise || f.whole_file != whole) continue;
            Recognition r = f.recognise(probe);
            if (!r.found && why_not.empty()) why_not = r.reason;
            if (r.found && (!best || r.line < shown.line)) {
                best = &f;
                shown = std::move(r);
            }
        }
        if (best) {
            reason = shown.reason;
            return best->kind;
        }
    }
    reason = why_not.empty() ? fits_none() : why_not;
    return FileKind::Recognised;
}

bool read_series_file(std::istream& file, const LoadSettings& settings, SeriesTable& table,
                      std::array<std::string, 3>& header, LoadNotes& notes) {
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    FileKind kind = settings.kind;
    const bool recognised = !file_format(kind).read;
    if (recognised) {
        std::string reason;
        kind = recognise_kind(file, reason);
        notes.blank_line();
        if (!file_format(kind).read) {
            notes.refusal("The format of the data file is not recognised: " + reason + ".", 2);
            notes.refusal("Choose its kind from the menu (single and multiple columns are never recognised).",
                          2);
            not_read(notes);
            return false;
        }
        notes.recognised = file_format(kind).title;
        notes.message("Format recognised: " + notes.recognised + " (" + reason + ").", 2);
    }
    // Every try reads the file from its start, whatever an earlier try or the help did.
    rewind(file);
    skip_byte_order_mark(file);
    const FileFormat& format = file_format(kind);
    // A recognised table is read from its first line: its header row was found there.
    const int skip = recognised ? 0 : settings.header_lines;
    int skipped = 0;
    std::string discard;
    while (format.header_lines && skipped < skip && read_text_line(file, discard)) ++skipped;
    return format.read({file, settings, skipped, table, header, notes});
}

}  // namespace kestrovan
