#include "run/series_csv.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

#include "io/output_table.hpp"
#include "console/report.hpp"
#include "engine/sigfree.hpp"
#include "model/format.hpp"
#include "model/run_options.hpp"
#include "run/statistics_output.hpp"
#include "select/tree_ids.hpp"

namespace kestrovan {

namespace {

void add_fixed(std::string& row, double v, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    row.append(buf, r.ptr);
}

// A cell of a value with `decimals` decimals; empty where there is none.
void add_value(std::string& row, float v, int decimals) {
    row += ',';
    if (v != kMissing && std::isfinite(v)) add_fixed(row, static_cast<double>(v), decimals);
}

// A text cell, quoted when it holds a comma, a quote or a line end.
void add_text(std::string& row, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        row += text;
        return;
    }
    row += '"';
    for (char ch : text) {
        if (ch == '"') row += '"';
        row += ch;
    }
    row += '"';
}

}  // namespace

void write_series_csv(OutputFiles& files, const RunOptions& params, const SeriesTable& raw,
                      const EngineResults& results, const StatisticsSettings& settings) {
    const std::string base = files.base_name();
    const bool option0 = params.curve_option == 0;
    StagedOutputFile staged(base + output_suffix(OutputFile::SeriesCsv));
    std::ofstream& file = staged.stream();
    file << (option0 ? "Series,Tree,Core,Year,Age,Width,RawCurve,RawIndex,AdjCurve,AdjIndex"
                     : "Series,Tree,Core,Year,Age,Width,StdCurve,StdIndex,SsfCurve,SsfIndex")
         << '\n';
    const TreeIdLayout layout = tree_id_layout(settings);
    std::string row;
    for (int i = 0; i < raw.count(); ++i) {
        const auto is = static_cast<std::size_t>(i);
        const YearSpan& y = raw.years[is];
        const std::string id = trim(raw.ids[is]);
        const TreeIdParts p =
            settings.tree_id.empty() ? TreeIdParts{"", id, ""} : split_tree_id(raw.ids[is], layout);
        std::string head;
        add_text(head, id);
        head += ',';
        add_text(head, p.site + p.tree);
        head += ',';
        add_text(head, p.core);
        const bool aged = params.pith_present && is < params.pith_offsets.size();
        const int offset = aged ? std::max(0, params.pith_offsets[is]) : 0;
        const auto widths = raw.data.column(i);
        for (int j = 0; j < y.length; ++j) {
            const auto js = static_cast<std::size_t>(j);
            const int year = y.first + j;
            row = head;
            row += ',';
            row += std::to_string(year);
            row += ',';
            if (aged) row += std::to_string(offset + j + 1);
            row += ',';
            // The width as read, to six significant digits: widths read in hundredths or
            // thousandths of a millimetre come out as written (0.67, not the 0.66999996 the
            // single-precision product holds).
            char buf[64];
            const int n = std::snprintf(buf, sizeof buf, "%.6g", static_cast<double>(widths[js]));
            row.append(buf, static_cast<std::size_t>(std::max(0, n)));
            const int k = year - results.first_year;
            const auto index_of = [&](const YearMatrix& m) {
                return k >= 0 && k < m.rows() && i < m.cols() ? m(k, i) : kMissing;
            };
            add_value(row, index_of(results.standard_curves), 6);
            add_value(row, index_of(results.standard_indices), 6);
            add_value(row, index_of(results.curves), 6);
            add_value(row, index_of(results.indices), 6);
            row += '\n';
            file << row;
        }
    }
    staged.commit();
}

}  // namespace kestrovan
