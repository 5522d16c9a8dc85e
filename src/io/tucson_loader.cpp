#include "io/tucson_loader.hpp"

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

using detail::no_series;
using detail::not_read;
using detail::read_successfully;
using detail::TableBuilder;

namespace {

// A ring-width series that ended in 9990 padding: it takes the unit of the file's other series.
struct PaddedSeries {
    int index = 0;  // in the order read
    int line = 0;   // its first line
    std::string id;
    std::string wide;  // the refusal due if its unit is hundredths ("" for none)
};

// Gives the padded series the one unit the other series declare; false after a refusal when
// they declare none or both, or when a value is no ring width in that unit.
bool padded_units(LoadNotes& notes, TableBuilder& builder, const std::vector<PaddedSeries>& padded,
                  const std::set<int>& declared) {
    if (padded.empty()) return true;
    const PaddedSeries& first = padded.front();
    if (declared.size() != 1) {
        notes.blank_line();
        notes.refusal("Series " + first.id + " (line " + std::to_string(first.line) +
                          ") ends in 9990 padding without an end marker, and " +
                          (declared.empty() ? "no other series of the file declares a unit (999 or -9999)"
                                            : "the file's other series declare both units (999 and -9999)") +
                          ": the unit of its values is unknown.",
                      2);
        return false;
    }
    for (const PaddedSeries& p : padded) {
        if (*declared.begin() == 1000) {
            builder.scale(p.index, 0.1f);
        } else if (!p.wide.empty()) {
            notes.blank_line();
            notes.refusal(p.wide, 2);
            return false;
        }
    }
    return true;
}

// The warning about 9990 read as padding, naming its lines (the first ten).
void warn_padding(LoadNotes& notes, const std::vector<int>& lines) {
    if (lines.empty()) return;
    std::string list;
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < std::min(lines.size(), kShown); ++i)
        list += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kShown) list += " and " + std::to_string(lines.size() - kShown) + " more";
    notes.blank_line();
    notes.warning("WARNING: 9990 read as padding (no value) on line" +
                      std::string(lines.size() > 1 ? "s " : " ") + list + ";",
                  2);
    notes.warning("         a series that ends in it takes the unit of the file's other series.", 2);
}

// A file without values, or a call that met no data line at all (more than 25 lines that are
// not data), means the file is not what the user said it is: the refusal and its pause.
void not_this_kind(LoadNotes& notes, const TucsonSeries& series, const TucsonReadState& state) {
    notes.blank_line();
    notes.refusal("WARNING: Fatal error reading data from input file.", 2);
    notes.refusal("         Suggest checking file format and/or file type", 2);
    notes.refusal("         Unix/Dos/Mac?", 2);
    if (state.data_lines == 0)
        notes.refusal(
            "         (no data line among the lines up to line " + std::to_string(state.lines) + ")", 2);
    else
        notes.refusal("         (series " + rtrim(series.id) + " at line " +
                          std::to_string(state.series_line) + " has no values)",
                      2);
    notes.pause(" Hit Return to Continue");
}

// The Tucson load with everything it says in state.notes.
bool read_decade_file(std::istream& file, bool rings, SeriesTable& table, std::array<std::string, 3>& header,
                      TucsonReadState& state) {
    LoadNotes& notes = state.notes;
    TableBuilder builder(notes);
    TucsonSeries series;
    std::vector<PaddedSeries> padded;  // ring widths ended by 9990 padding, without an end marker
    std::set<int> declared;            // the units the other series' end markers declare
    static constexpr const char* kMissingLine[3] = {"1st itrdb line missing", "2nd itrdb line missing",
                                                    "3rd itrdb line missing"};
    while (state.counter != kEndOfFile) {
        trrw(file, rings ? "mr" : "ir", series, state);
        if (rings) {
            for (std::size_t k = 0; k < 3; ++k) {
                std::string& h = state.header[k];
                if (all_blank(std::string_view(h).substr(0, 6))) {
                    h.replace(0, 22, kMissingLine[k]);
                    h.replace(58, 22, kMissingLine[k]);
                }
            }
        }
        header = state.header;
        if (state.failed) {
            not_read(notes);
            return false;
        }
        if (series.count == kEndOfFile) break;
        if (series.count < 1) {
            not_this_kind(notes, series, state);
            return false;
        }
        if (!builder.add(series.id, series.first_year,
                         std::span<const float>(series.values.data(), static_cast<std::size_t>(series.count)),
                         state.series_line)) {
            not_read(notes);
            return false;
        }
        if (rings && state.unit_parts == 0)
            padded.push_back({builder.count() - 1, state.series_line, rtrim(series.id), state.padded_wide});
        else if (rings)
            declared.insert(state.unit_parts);
    }
    if (builder.values() == 0) {
        no_series(notes, state.lines);
        not_read(notes);
        return false;
    }
    if (!padded_units(notes, builder, padded, declared)) {
        not_read(notes);
        return false;
    }
    builder.finish(table);
    warn_padding(notes, state.padding_lines);
    read_successfully(notes);
    return true;
}

}  // namespace

namespace detail {

bool load_tucson(std::istream& file, bool rings, SeriesTable& table, std::array<std::string, 3>& header,
                 LoadNotes& notes) {
    // The reader's calls append to state.notes: it starts from what the load had noted before,
    // and hands everything back on every way out.
    TucsonReadState state;
    state.notes = std::move(notes);
    bool ok = false;
    try {
        ok = read_decade_file(file, rings, table, header, state);
    } catch (...) {
        notes = std::move(state.notes);
        throw;
    }
    notes = std::move(state.notes);
    return ok;
}

}  // namespace detail
}  // namespace kestrovan
