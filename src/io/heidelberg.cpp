#include "io/heidelberg.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

namespace {

constexpr double kLargestWidth = 100.0;

std::string lower(std::string_view s) {
    std::string t(s);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

std::string clean(std::string_view s) {
    std::string t(s);
    std::replace(t.begin(), t.end(), '\t', ' ');
    return trim(t);
}

// A key of a header block with the line that gives it.
struct KeyLine {
    std::string value;
    int line = 0;
};

class HeidelbergReader {
public:
    HeidelbergReader(LoadNotes& notes, std::istream& file) : notes_(notes), file_(file) {}

    bool run(std::vector<InputSeries>& out) {
        enum class Where { Outside, Header, Data } where = Where::Outside;
        std::string raw;
        while (read_text_line(file_, raw)) {
            ++line_;
            // A line of more than a mebibyte is kept cut: it is refused below, by its number.
            if (line_too_long(file_)) break;
            const std::string text = clean(raw);
            if (is_heidelberg_header(text)) {
                if (where == Where::Data && !finish(out)) return false;
                if (where == Where::Header)
                    return refuse(at() +
                                  ": a new HEADER: block begins before the DATA: block of the one at line " +
                                  std::to_string(header_line_) + ".");
                keys_.clear();
                values_.clear();
                header_line_ = line_;
                where = Where::Header;
                continue;
            }
            if (where == Where::Outside) {
                if (text.empty()) continue;
                return refuse(at() + " stands outside a HEADER: and DATA: block: \"" + excerpt(text) + "\".");
            }
            if (where == Where::Header) {
                if (lower(text.substr(0, 5)) == "data:") {
                    if (!start_data(text)) return false;
                    where = Where::Data;
                } else if (!text.empty() && !read_key(text)) {
                    return false;
                }
                continue;
            }
            if (!read_values(text)) return false;
        }
        if (line_too_long(file_))
            return refuse("Line " + std::to_string(line_) +
                          " is longer than a mebibyte: this is not a Heidelberg file.");
        if (where == Where::Header)
            return refuse("The file ends after line " + std::to_string(line_) +
                          ", inside the HEADER: block of line " + std::to_string(header_line_) +
                          " (no DATA: block).");
        if (where == Where::Data && !finish(out)) return false;
        if (out.empty())
            return refuse("The file holds no HEADER: block (" + std::to_string(line_) + " lines).");
        return refuse_repeated_series(notes_, out, [&](std::size_t i) {
            return "in the HEADER: block of line " + std::to_string(out[i].line);
        });
    }

private:
    bool refuse(const std::string& what) { return refuse_reading(notes_, what); }
    std::string at() const { return "Line " + std::to_string(line_); }
    std::string block() const {
        return " (the series of the HEADER: block of line " + std::to_string(header_line_) + ")";
    }

    bool read_key(const std::string& text) {
        const std::size_t eq = text.find('=');
        if (eq == std::string::npos || eq == 0)
            return refuse(at() + " of the HEADER: block is not a Key=Value line: \"" + excerpt(text) + "\".");
        const std::string key = lower(trim(text.substr(0, eq)));
        if (auto [it, fresh] = keys_.emplace(key, KeyLine{trim(text.substr(eq + 1)), line_}); !fresh)
            return refuse(at() + ": the key " + trim(text.substr(0, eq)) + " is given again (first at line " +
                          std::to_string(it->second.line) + ").");
        return true;
    }

    const KeyLine* key(const char* name) const {
        const auto it = keys_.find(name);
        return it == keys_.end() || it->second.value.empty() ? nullptr : &it->second;
    }

    // An integer key; false after a message when it is given but is not a whole number.
    bool int_key(const char* name, const char* shown, std::optional<long long>& v) {
        v.reset();
        const KeyLine* k = key(name);
        if (!k) return true;
        const auto n = parse_int(k->value);
        if (!n)
            return refuse("Line " + std::to_string(k->line) + ": " + shown + "=" + excerpt(k->value) +
                          " is not a whole number.");
        v = *n;
        return true;
    }

    bool start_data(const std::string& text) {
        data_line_ = line_;
        const std::string kind = trim(text.substr(5));
        const KeyLine* declared = key("dataformat");
        const std::string format = lower(kind.empty() && declared ? declared->value : kind);
        if (declared && lower(declared->value) != format)
            return refuse(at() + ": DATA:" + printable(kind) + " differs from DataFormat=" +
                          printable(declared->value) + " (line " + std::to_string(declared->line) + ").");
        if (format != "tree")
            return refuse(at() + ": DATA:" + printable(kind.empty() ? format : kind) +
                          " is not read by this program: only tree data (DATA:Tree) are." + block());
        return true;
    }

    bool read_values(const std::string& text) {
        for (const std::string& item : freeform_items(text)) {
            const auto v = parse_int(item);
            if (!v) return refuse(at() + ": \"" + excerpt(item) + "\" is not a whole number" + block() + ".");
            if (values_.size() > static_cast<std::size_t>(kMaxYears) + 10)
                return refuse(at() + ": the DATA: block holds more than " + std::to_string(kMaxYears) +
                              " values, the limit per series" + block() + ".");
            values_.push_back({*v, line_});
        }
        return true;
    }

    // The series of the block just read, checked against its header.
    bool finish(std::vector<InputSeries>& out) {
        const KeyLine* code = key("keycode");
        if (!code)
            return refuse("Line " + std::to_string(header_line_) + ": the HEADER: block has no KeyCode.");
        const std::string name = code->value;
        if (std::any_of(name.begin(), name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            return refuse("Line " + std::to_string(code->line) + ": the KeyCode is not text.");
        const std::string series =
            "Series " + printable(name) + " (HEADER: block of line " + std::to_string(header_line_) + ")";
        const KeyLine* unit = key("unit");
        if (!unit) return refuse(series + " has no Unit key: the unit of its values is unknown.");
        const auto parts = unit_parts(unit->value);
        if (!parts)
            return refuse("Line " + std::to_string(unit->line) + ": Unit=" + printable(unit->value) +
                          " is not a unit this program knows (mm, 1/10 mm, 1/100 mm, 1/1000 mm).");
        std::optional<long long> begin, end, length;
        if (!int_key("datebegin", "DateBegin", begin) || !int_key("dateend", "DateEnd", end) ||
            !int_key("length", "Length", length))
            return false;
        if (!length && begin && end) length = *end - *begin + 1;
        if (!begin && end && length) begin = *end - *length + 1;
        if (!begin || !length)
            return refuse(series +
                          " is not dated: DateBegin, DateEnd and Length give no first year "
                          "(two of them are needed).");
        if (*length < 1 || (end && *end != *begin + *length - 1))
            return refuse(series + ": DateBegin, DateEnd and Length do not agree.");
        if (*begin < kEarliestYear || *begin + *length - 1 > kLatestYear || *length > kMaxYears)
            return refuse(series + " runs from " + std::to_string(*begin) + " to " +
                          std::to_string(*begin + *length - 1) + ": outside the years " +
                          std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear) +
                          " or longer than " + std::to_string(kMaxYears) + " years.");
        const auto n = static_cast<std::size_t>(*length);
        if (values_.size() < n)
            return refuse(
                series + ": its DATA: block (line " + std::to_string(data_line_) + ") ends after " +
                std::to_string(values_.size()) + " values of its Length " + std::to_string(n) +
                (values_.empty() ? "" : " (last at line " + std::to_string(values_.back().line) + ")") + ".");
        for (std::size_t k = n; k < values_.size(); ++k)
            if (values_[k].value != 0 || values_[k].line != values_[n - 1].line)
                return refuse("Line " + std::to_string(values_[k].line) + ": series " + printable(name) +
                              " holds more values than its Length " + std::to_string(n) + ".");
        InputSeries s{name, static_cast<int>(*begin), {}, header_line_};
        s.values.reserve(n);
        for (std::size_t k = 0; k < n; ++k) {
            const float w = width_in_mm(static_cast<double>(values_[k].value), *parts);
            if (!(w < kLargestWidth))
                return refuse("Line " + std::to_string(values_[k].line) + ": the value " +
                              std::to_string(values_[k].value) + " of series " + printable(name) + " for " +
                              std::to_string(*begin + static_cast<long long>(k)) +
                              " is not a ring width in millimetres (100 or more in " + unit_name(*parts) +
                              ").");
            s.values.push_back(w);
        }
        out.push_back(std::move(s));
        return true;
    }

    struct Value {
        long long value;
        int line;
    };

    LoadNotes& notes_;
    std::istream& file_;
    int line_ = 0;
    int header_line_ = 0;
    int data_line_ = 0;
    std::map<std::string, KeyLine> keys_;
    std::vector<Value> values_;
};

}  // namespace

bool is_heidelberg_header(std::string_view line) {
    std::string t = clean(line);
    return lower(t) == "header:";
}

bool read_heidelberg(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes) {
    return HeidelbergReader(notes, file).run(series);
}

}  // namespace kestrovan
