#pragma once
// Test helpers: a small reader for the bundled Tucson ring-width files and a simple detrending
// (each series divided by its own mean) giving a calendar-row index matrix.
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan::testdata {

struct IndexSet {
    YearMatrix indices;  // calendar rows × series
    std::vector<YearSpan> years;
    std::vector<std::string> ids;
    int first_year = 0;
    int nyears = 0;
    std::vector<int> sample_size;   // series per year
    std::vector<float> chronology;  // arithmetic mean of the indices per year (0 without series)
};

// Reads a Tucson decade file (three header lines, hundredths, 999 closes a series).
inline std::map<std::string, std::map<int, float>> read_decade_file(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::map<std::string, std::map<int, float>> out;
    std::vector<std::string> order;
    for (int i = 0; i < 3 && std::getline(in, line); ++i) {
    }
    while (std::getline(in, line)) {
        if (line.size() < 12) continue;
        const std::string id = line.substr(0, 8);
        const int year = std::stoi(line.substr(8, 4));
        for (int k = 0; k < 10; ++k) {
            const std::size_t pos = 12 + 6 * k;
            if (pos + 6 > line.size()) break;
            const std::string field = line.substr(pos, 6);
            if (field.find_first_not_of(' ') == std::string::npos) break;
            const int v = std::stoi(field);
            if (v == 999 || v == -9999) break;
            out[id][year + k] = v / 100.0f;
        }
    }
    return out;
}

inline IndexSet mean_ratio_indices(const std::string& path) {
    const auto series = read_decade_file(path);
    IndexSet s;
    int first = 1 << 30, last = -(1 << 30);
    for (const auto& [id, vals] : series) {
        first = std::min(first, vals.begin()->first);
        last = std::max(last, vals.rbegin()->first);
    }
    s.first_year = first;
    s.nyears = last - first + 1;
    s.indices.resize(s.nyears, static_cast<int>(series.size()));
    s.sample_size.assign(static_cast<std::size_t>(s.nyears), 0);
    std::vector<double> sum(static_cast<std::size_t>(s.nyears), 0.0);
    int c = 0;
    for (const auto& [id, vals] : series) {
        double m = 0.0;
        for (const auto& [y, v] : vals) m += v;
        m /= static_cast<double>(vals.size());
        for (const auto& [y, v] : vals) {
            const float idx = static_cast<float>(v / m);
            s.indices(y - first, c) = idx;
            sum[y - first] += idx;
            ++s.sample_size[y - first];
        }
        s.years.push_back(
            {vals.begin()->first, vals.rbegin()->first, vals.rbegin()->first - vals.begin()->first + 1});
        s.ids.push_back(id);
        ++c;
    }
    s.chronology.assign(static_cast<std::size_t>(s.nyears), 0.0f);
    for (int t = 0; t < s.nyears; ++t)
        if (s.sample_size[t] > 0) s.chronology[t] = static_cast<float>(sum[t] / s.sample_size[t]);
    return s;
}

}  // namespace kestrovan::testdata
