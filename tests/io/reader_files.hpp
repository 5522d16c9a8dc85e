#pragma once
// The bundled ring-width files, loaded as Tucson files, and the same series written in the other
// file kinds the loader reads (single column, multiple columns, Tucson chronologies), for tests
// that compare what a reader gives with the Tucson original.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"
#include "io/tucson.hpp"

namespace kestrovan::testing {

inline std::string bundled(const std::string& name) {
    std::ifstream f(std::string(KESTROVAN_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Loaded {
    bool ok = false;
    bool stopped = false;  // the dialogue stopped the program
    SeriesTable table;
    std::array<std::string, 3> header;
    std::string shown;  // the console
};

// Runs the input-format dialogue on `content` with the given answers.
inline Loaded load(const std::string& content, const std::string& answers) {
    Loaded r;
    std::istringstream in(answers), file(content);
    std::ostringstream out;
    Console console(in, out);
    try {
        r.ok = loaddat(console, file, r.table, r.header);
    } catch (const ProgramStop&) {
        r.stopped = true;
    }
    r.shown = out.str();
    return r;
}

// A bundled file read as Tucson ring widths: the original every other kind is compared with.
inline SeriesTable tucson_original(const std::string& name) {
    Loaded r = load(bundled(name), "1\n");
    if (!r.ok) throw std::runtime_error("cannot load " + name + ":\n" + r.shown);
    return r.table;
}

inline std::vector<float> values_of(const SeriesTable& t, int s) {
    auto col = t.data.column(s);
    return {col.begin(), col.begin() + t.years[static_cast<std::size_t>(s)].length};
}

// Widths as a column file writes them: millimetres with two decimals (the bundled files hold
// hundredths, so nothing is rounded).
inline std::string width_text(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(v));
    return buf;
}

// Single-column blocks: identifier, first year, one width per line.
inline std::string single_column(const SeriesTable& t) {
    std::string text;
    for (int s = 0; s < t.count(); ++s) {
        text += rtrim(t.ids[static_cast<std::size_t>(s)]) + "\n" +
                std::to_string(t.years[static_cast<std::size_t>(s)].first) + "\n";
        for (float v : values_of(t, s)) text += width_text(v) + "\n";
    }
    return text;
}

// Multiple columns: a naming line, then one line per year of the span with `pad` outside a series.
inline std::string multiple_columns(const SeriesTable& t, const std::string& pad) {
    std::string text = "year";
    for (const auto& id : t.ids) text += " " + rtrim(id);
    text += "\n";
    for (int y = t.summary.first; y <= t.summary.last; ++y) {
        text += std::to_string(y);
        for (int s = 0; s < t.count(); ++s) {
            const YearSpan& span = t.years[static_cast<std::size_t>(s)];
            text += " " + (y < span.first || y > span.last ? pad : width_text(t.data(y - span.first, s)));
        }
        text += "\n";
    }
    return text;
}

// Every series as a Tucson chronology written by the program's own writer (widths taken as
// indices, sample counts 1 to 40); with `decade_labels` the first line of each carries its
// decade year instead of its first year, as data-bank chronology files do.
inline std::string chronologies(const SeriesTable& t, bool decade_labels) {
    std::ostringstream out;
    std::istringstream none;
    std::ostringstream sink;
    Console quiet(none, sink);
    TucsonWriteState state;
    for (int s = 0; s < t.count(); ++s) {
        const YearSpan& span = t.years[static_cast<std::size_t>(s)];
        std::vector<int> n;
        for (int k = 0; k < span.length; ++k) n.push_back(1 + k % 40);
        std::ostringstream one;
        const std::string id = t.ids[static_cast<std::size_t>(s)].substr(0, 6);
        const std::vector<float> values = values_of(t, s);
        trrw(one, "iw",
             {.id = id, .first_year = span.first, .values = values, .samples = n, .label = "stdcrn"}, state,
             quiet);
        std::string text = one.str();
        if (decade_labels && span.first % 10 != 0 && span.first > 0) {
            const std::string year = std::to_string(span.first - span.first % 10);
            text.replace(6, 4, std::string(4 - std::min<std::size_t>(4, year.size()), ' ') + year);
        }
        out << text;
    }
    return out.str();
}

// ---- The exchange formats, written from a table whose widths are whole hundredths ----------

inline long hundredths(float v) { return std::lround(static_cast<double>(v) * 100.0); }

// A CSV/TSV table: a "Year" column and one column per series, empty cells outside a series.
// Widths in millimetres with two decimals (a decimal comma when asked), or whole hundredths.
inline std::string csv_table(const SeriesTable& t, char sep, bool decimal_comma = false,
                             bool in_hundredths = false) {
    std::string text = "Year";
    for (const auto& id : t.ids) text += sep + rtrim(id);
    text += "\n";
    for (int y = t.summary.first; y <= t.summary.last; ++y) {
        text += std::to_string(y);
        for (int s = 0; s < t.count(); ++s) {
            const YearSpan& span = t.years[static_cast<std::size_t>(s)];
            text += sep;
            if (y < span.first || y > span.last) continue;
            const float v = t.data(y - span.first, s);
            std::string cell = in_hundredths ? std::to_string(hundredths(v)) : width_text(v);
            if (decimal_comma) std::replace(cell.begin(), cell.end(), '.', ',');
            text += cell;
        }
        text += "\n";
    }
    return text;
}

// Heidelberg tree data in hundredths, ten values a line, the last line filled with zeros.
inline std::string heidelberg_file(const SeriesTable& t) {
    std::string text;
    for (int s = 0; s < t.count(); ++s) {
        const YearSpan& span = t.years[static_cast<std::size_t>(s)];
        text += "HEADER:\nKeyCode=" + rtrim(t.ids[static_cast<std::size_t>(s)]) +
                "\nDataFormat=Tree\nDateBegin=" + std::to_string(span.first) +
                "\nDateEnd=" + std::to_string(span.last) + "\nLength=" + std::to_string(span.length) +
                "\nUnit=1/100 mm\nDATA:Tree\n";
        const auto v = values_of(t, s);
        const std::size_t lines = (v.size() + 9) / 10;
        for (std::size_t k = 0; k < lines * 10; ++k) {
            char field[16];
            std::snprintf(field, sizeof field, "%6ld", k < v.size() ? hundredths(v[k]) : 0L);
            text += field;
            if (k % 10 == 9) text += "\n";
        }
    }
    return text;
}

// The compact format: "-2" (hundredths), twelve fields of six columns a line.
inline std::string compact_file(const SeriesTable& t) {
    std::string text;
    for (int s = 0; s < t.count(); ++s) {
        const YearSpan& span = t.years[static_cast<std::size_t>(s)];
        char head[160];
        std::snprintf(head, sizeof head, "%8d=N%8d=I %-48s-2(12F6.0)~\n", span.length, span.first,
                      rtrim(t.ids[static_cast<std::size_t>(s)]).c_str());
        text += head;
        const auto v = values_of(t, s);
        for (std::size_t k = 0; k < v.size(); ++k) {
            char field[16];
            std::snprintf(field, sizeof field, "%6ld", hundredths(v[k]));
            text += field;
            if (k % 12 == 11 || k + 1 == v.size()) text += "\n";
        }
    }
    return text;
}

// A TRiDaS project: one element, sample and radius per series, the widths in 1/100th mm.
inline std::string tridas_file(const SeriesTable& t) {
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<tridas:project xmlns:tridas=\"http://www.tridas.org/1.2.2\">\n"
        "  <tridas:title>bundled</tridas:title>\n  <tridas:object>\n    <tridas:title>site</tridas:title>\n";
    for (int s = 0; s < t.count(); ++s) {
        const YearSpan& span = t.years[static_cast<std::size_t>(s)];
        const std::string id = rtrim(t.ids[static_cast<std::size_t>(s)]);
        text += "    <tridas:element><tridas:title>" + id +
                "</tridas:title><tridas:sample><tridas:title>A</tridas:title><tridas:radius>"
                "<tridas:title>1</tridas:title>\n      <tridas:measurementSeries>\n        <tridas:title>" +
                id + "</tridas:title>\n        <tridas:interpretation><tridas:firstYear suffix=\"AD\">" +
                std::to_string(span.first) + "</tridas:firstYear><tridas:lastYear suffix=\"AD\">" +
                std::to_string(span.last) +
                "</tridas:lastYear></tridas:interpretation>\n        <tridas:values>\n"
                "          <tridas:variable normalTridas=\"Ring width\"/>\n"
                "          <tridas:unit normalTridas=\"1/100th millimetres\"/>\n";
        for (float v : values_of(t, s))
            text += "          <tridas:value value=\"" + std::to_string(hundredths(v)) + "\"/>\n";
        text +=
            "        </tridas:values>\n      </tridas:measurementSeries>\n"
            "    </tridas:radius></tridas:sample></tridas:element>\n";
    }
    return text + "  </tridas:object>\n</tridas:project>\n";
}

}  // namespace kestrovan::testing
