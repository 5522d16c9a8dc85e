#include "io/crn_writer.hpp"

#include <cctype>
#include <cmath>
#include <fstream>

#include "console/report.hpp"
#include "model/format.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

namespace {

constexpr int kNoValue = 9990;
constexpr int kLargestIndex = 9989;  // 9990 and above read as no value
constexpr int kSmallestIndex = -999;
constexpr int kLargestDepth = 999;
constexpr int kRecordWidth = 80;

bool alphanumeric(std::string_view text) {
    if (text.empty()) return false;
    for (char ch : text)
        if (!std::isalnum(static_cast<unsigned char>(ch))) return false;
    return true;
}

// The decade a year belongs to: its multiple of 10 at or below it (-11 belongs to -20).
int decade_of(int year) { return year >= 0 ? year - year % 10 : -((-year + 9) / 10) * 10; }

bool has_value(const CrnChronology& c, std::size_t k) {
    return k < c.values.size() && k < c.depth.size() && c.depth[k] > 0 && std::isfinite(c.values[k]) &&
           c.values[k] != kMissing;
}

// round(x × 1000) as the Tucson writer forms it: in single precision, halves away from zero.
long long thousandths(float x) {
    const float p = x * 1000.0f;
    return static_cast<long long>(std::round(static_cast<double>(p)));
}

}  // namespace

std::string data_bank_header_text(const std::array<std::string, 3>& header, int k) {
    const std::string& line = header[static_cast<std::size_t>(k)];
    const std::string code = rtrim(line.substr(0, 6));
    const std::string number = line.size() > 6 ? trim(line.substr(6, 4)) : std::string();
    if (!alphanumeric(code) || number != std::to_string(k + 1)) return {};
    return line.size() > 10 ? trim(line.substr(10)) : std::string();
}

std::string crn_site_code(const std::array<std::string, 3>& header, std::string_view data_own_name) {
    if (std::string code = data_bank_site(header).code; !code.empty()) return code;
    std::string own;
    for (char ch : data_own_name.substr(0, data_own_name.find('.')))
        if (std::isalnum(static_cast<unsigned char>(ch)) && own.size() < 6) own += ch;
    return own.empty() ? "site" : own;
}

DataBankSite data_bank_site(const std::array<std::string, 3>& header) {
    std::array<std::string, 3> lines;
    for (std::size_t k = 0; k < lines.size(); ++k) lines[k] = header[k].substr(0, kRecordWidth);
    DataBankSite site;
    const std::string code = rtrim(lines[0].substr(0, 6));
    if (alphanumeric(code) && lines[0].size() > 6 && trim(lines[0].substr(6, 4)) == "1") site.code = code;
    site.name = data_bank_header_text(lines, 0);
    site.species = data_bank_header_text(lines, 1);
    constexpr std::string_view kLabel = "species";
    if (site.species.size() >= kLabel.size()) {
        std::string start = site.species.substr(0, kLabel.size());
        for (char& ch : start) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const std::string rest = site.species.substr(kLabel.size());
        if (start == kLabel && (rest.empty() || rest.front() == ' ' || rest.front() == ':'))
            site.species = trim(rest.empty() || rest.front() == ' ' ? rest : rest.substr(1));
    }
    return site;
}

bool crn_value_years(const CrnChronology& c, int& first, int& last) {
    bool any = false;
    for (std::size_t k = 0; k < c.values.size(); ++k) {
        if (!has_value(c, k)) continue;
        const int year = c.first_year + static_cast<int>(k);
        if (!any) first = year;
        last = year;
        any = true;
    }
    return any;
}

CrnWritten write_crn_file(const std::string& path, const CrnChronology& c) {
    CrnWritten out;
    int first = 0, last = 0;
    if (!crn_value_years(c, first, last)) {
        out.refusal = "no year has a value";
        return out;
    }
    out.first_year = first;
    out.last_year = last;
    if (first < -990 || last > 9999) {
        out.refusal = "its years " + std::to_string(first) + " to " + std::to_string(last) +
                      " do not fit the 4-column decade field (years -990 to 9999)";
        return out;
    }
    const std::string site = fixed_width(c.site, 6);
    StagedOutputFile staged(path);
    std::ofstream& file = staged.stream();
    const char* names[3] = {"Site", "Info", "Data"};
    for (std::size_t r = 0; r < 3; ++r) {
        const std::string record = site + " " + names[r] + " " + c.text[r];
        file << rtrim(record.substr(0, kRecordWidth)) << '\n';
    }
    for (int decade = decade_of(first); decade <= last; decade += 10) {
        std::string record = site + fmt_i(decade, 4);
        for (int slot = 0; slot < 10; ++slot) {
            const int year = decade + slot;
            const long long k = static_cast<long long>(year) - c.first_year;
            long long index = kNoValue;
            int depth = 0;
            if (year >= first && year <= last && k >= 0 && has_value(c, static_cast<std::size_t>(k))) {
                const auto i = static_cast<std::size_t>(k);
                index = thousandths(c.values[i]);
                if (index > kLargestIndex || index < kSmallestIndex) {
                    index = index > kLargestIndex ? kLargestIndex : kSmallestIndex;
                    ++out.clipped_values;
                }
                depth = c.depth[i];
                if (depth > kLargestDepth) {
                    depth = kLargestDepth;
                    ++out.capped_depths;
                }
            }
            record += fmt_i(index, 4) + fmt_i(depth, 3);
        }
        file << record << '\n';
    }
    staged.commit();
    out.written = true;
    return out;
}

}  // namespace kestrovan
