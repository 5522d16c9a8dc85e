#include "io/series_input.hpp"

#include <algorithm>
#include <cctype>
#include <set>
#include <unordered_map>

#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "model/format.hpp"

namespace kestrovan {

bool refuse_reading(LoadNotes& notes, const std::string& what) {
    notes.blank_line();
    notes.refusal(what, 2);
    return false;
}

namespace {

struct NamedUnit {
    const char* name;
    int parts;
};
constexpr NamedUnit kUnits[] = {{"mm", 1},      {"1/10mm", 10},   {"1/20mm", 20},
                                {"1/50mm", 50}, {"1/100mm", 100}, {"1/1000mm", 1000},
                                {"0.1mm", 10},  {"0.01mm", 100},  {"0.001mm", 1000}};

}  // namespace

std::optional<int> unit_parts(std::string_view text) {
    std::string closed;
    for (char c : text)
        if (c != ' ' && c != '\t') closed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const NamedUnit& u : kUnits)
        if (closed == u.name) return u.parts;
    return std::nullopt;
}

std::string unit_name(int parts) { return parts == 1 ? "mm" : "1/" + std::to_string(parts) + " mm"; }

float width_in_mm(double value, int parts) {
    const auto v = static_cast<float>(value);
    switch (parts) {
        case 1: return v;
        case 100: return v * 0.01f;
        case 1000: return v * 0.01f * 0.1f;
        default: return static_cast<float>(value / parts);
    }
}

namespace {

// A name as the 8-column identifier field of the program's files holds it: its first 8
// characters, trailing blanks ignored ("Tree 12" and "Tree 12 core north" are both "Tree 12").
std::string field_key(std::string_view name) { return rtrim(name.substr(0, 8)); }

}  // namespace

std::vector<std::string> short_names(const std::vector<std::string>& names) {
    std::multiset<std::string> all;
    for (const std::string& n : names) all.insert(rtrim(n));
    std::set<std::string> taken;
    std::vector<bool> keeps(names.size());
    // Names that fit and are unique keep themselves, whatever stands before them.
    for (std::size_t i = 0; i < names.size(); ++i) {
        keeps[i] = names[i].size() <= 8 && !field_key(names[i]).empty() && all.count(rtrim(names[i])) == 1;
        if (keeps[i]) taken.insert(field_key(names[i]));
    }
    std::vector<std::string> out(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (keeps[i]) {
            out[i] = names[i];
            continue;
        }
        // Compared as written: a candidate blank in its 8 columns is no name, and one that
        // differs from a name taken only by trailing blanks is that name.
        std::string candidate = names[i].substr(0, 8);
        for (int n = 1; field_key(candidate).empty() || taken.count(field_key(candidate)); ++n) {
            const std::string number = std::to_string(n);
            candidate = names[i].substr(0, 8 - number.size()) + number;
        }
        taken.insert(field_key(candidate));
        out[i] = candidate;
    }
    return out;
}

bool refuse_repeated_series(LoadNotes& notes, const std::vector<InputSeries>& series,
                            const std::function<std::string(std::size_t)>& place) {
    std::unordered_map<std::string, std::vector<std::size_t>> by_name;
    for (std::size_t i = 0; i < series.size(); ++i) {
        auto& same = by_name[rtrim(series[i].name)];
        for (const std::size_t e : same)
            if (series[e].first_year == series[i].first_year && series[e].values == series[i].values)
                return refuse_reading(notes, "Series " + printable(series[i].name) +
                                                 " is given twice, with the same years and values: " +
                                                 place(e) + " and " + place(i) + ".");
        same.push_back(i);
    }
    return true;
}

bool build_series_table(std::vector<InputSeries>& series, SeriesTable& table, LoadNotes& notes) {
    std::vector<std::string> names;
    names.reserve(series.size());
    for (const InputSeries& s : series) names.push_back(s.name);
    const std::vector<std::string> shorts = short_names(names);
    detail::TableBuilder builder(notes);
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (shorts[i] != names[i]) notes.renamed.emplace_back(printable(names[i]), printable(shorts[i]));
        if (!builder.add(shorts[i], series[i].first_year, series[i].values, series[i].line)) return false;
    }
    builder.finish(table);
    return true;
}

std::vector<std::string> renamed_lines(const LoadNotes& notes) {
    std::vector<std::string> lines;
    if (notes.renamed.empty()) return lines;
    std::size_t width = 16;
    for (const auto& [full, short_name] : notes.renamed) width = std::max(width, full.size());
    lines.push_back("Series names longer than 8 characters, or alike in their first 8, are used as:");
    lines.push_back(fixed_width("name in the file", width + 2) + "name used");
    for (const auto& [full, short_name] : notes.renamed)
        lines.push_back(fixed_width(full, width + 2) + short_name);
    return lines;
}

}  // namespace kestrovan
