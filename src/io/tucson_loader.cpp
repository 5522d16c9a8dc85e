#include "io/tucson_loader.hpp"

#include <algorithm>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.hpp"
#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

using detail::no_series;
using detail::not_read;
using detail::TableBuilder;

namespace {

// A ring-width series that ended in 9990 padding: it takes the unit of the file's other series.
struct PaddedSeries {
    int index = 0;  // in the order read
    int line = 0;   // its first line
    std::string id;
    std::string wide;  // the refusal due if its unit is hundredths ("" for none)
};

// Gives the padded series the one unit the other series declare; false after a message when
// they declare none or both, or when a value is no ring width in that unit.
bool padded_units(Console& console, TableBuilder& builder, const std::vector<PaddedSeries>& padded,
                  const std::set<int>& declared) {
    if (padded.empty()) return true;
    const PaddedSeries& first = padded.front();
    if (declared.size() != 1) {
        console.blank_line();
        console.line("Series " + first.id + " (line " + std::to_string(first.line) +
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
            console.blank_line();
            console.line(p.wide, 2);
            return false;
        }
    }
    return true;
}

// The warning about 9990 read as padding, naming its lines (the first ten).
void warn_padding(Console& console, const std::vector<int>& lines) {
    if (lines.empty()) return;
    std::string list;
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < std::min(lines.size(), kShown); ++i)
        list += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kShown) list += " and " + std::to_string(lines.size() - kShown) + " more";
    console.blank_line();
    console.line("WARNING: 9990 read as padding (no value) on line" +
                     std::string(lines.size() > 1 ? "s " : " ") + list + ";",
                 2);
    console.line("         a series that ends in it takes the unit of the file's other series.", 2);
}

}  // namespace

namespace detail {

bool load_tucson(Console& console, std::istream& file, bool rings, SeriesTable& table,
                 std::array<std::string, 3>& header) {
    TableBuilder builder(console);
    TucsonReadState state;
    TucsonSeries series;
    std::vector<PaddedSeries> padded;  // ring widths ended by 9990 padding, without an end marker
    std::set<int> declared;            // the units the other series' end markers declare
    static constexpr const char* kMissingLine[3] = {"1st itrdb line missing", "2nd itrdb line missing",
                                                    "3rd itrdb line missing"};
    while (state.counter != kEndOfFile) {
        trrw(file, rings ? "mr" : "ir", series, state, console);
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
            not_read(console);
            return false;
        }
        if (series.count == kEndOfFile) break;
        // A series without values, or a call that met no data line at all (more than 25 lines
        // that are not data), means the file is not what the user said it is.
        if (series.count < 1) {
            console.blank_line();
            console.line("WARNING: Fatal error reading data from input file.", 2);
            console.line("         Suggest checking file format and/or file type", 2);
            console.line("         Unix/Dos/Mac?", 2);
            if (state.data_lines == 0)
                console.line(
                    "         (no data line among the lines up to line " + std::to_string(state.lines) + ")",
                    2);
            else
                console.line("         (series " + rtrim(series.id) + " at line " +
                                 std::to_string(state.series_line) + " has no values)",
                             2);
            console.pause(" Hit Return to Continue");
            return false;
        }
        if (!builder.add(series.id, series.first_year,
                         std::span<const float>(series.values.data(), static_cast<std::size_t>(series.count)),
                         state.series_line)) {
            not_read(console);
            return false;
        }
        if (rings && state.unit_parts == 0)
            padded.push_back({builder.count() - 1, state.series_line, rtrim(series.id), state.padded_wide});
        else if (rings)
            declared.insert(state.unit_parts);
    }
    if (builder.values() == 0) {
        no_series(console, state.lines);
        not_read(console);
        return false;
    }
    if (!padded_units(console, builder, padded, declared)) {
        not_read(console);
        return false;
    }
    builder.finish(table);
    warn_padding(console, state.padding_lines);
    console.blank_line();
    console.line("Input data read successfully", 2);
    return true;
}

}  // namespace detail
}  // namespace kestrovan
