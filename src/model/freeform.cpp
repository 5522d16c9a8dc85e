#include "model/freeform.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kestrovan {

std::vector<std::string> freeform_items(std::string_view line) {
    std::vector<std::string> items;
    std::string cur;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') {
            if (!cur.empty()) items.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) items.push_back(cur);
    return items;
}

std::optional<int> parse_int(std::string_view item) {
    if (item.empty()) return std::nullopt;
    std::size_t i = 0;
    bool neg = false;
    if (item[0] == '+' || item[0] == '-') {
        neg = item[0] == '-';
        i = 1;
    }
    if (i >= item.size()) return std::nullopt;
    long long v = 0;
    for (; i < item.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(item[i]))) return std::nullopt;
        v = v * 10 + (item[i] - '0');
        if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return std::nullopt;
    }
    if (neg) v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(v);
}

std::optional<double> parse_real(std::string_view item) {
    if (item.empty() || item.size() > 64) return std::nullopt;
    const auto digit = [&](std::size_t k) { return std::isdigit(static_cast<unsigned char>(item[k])) != 0; };
    std::size_t i = 0;
    if (item[i] == '+' || item[i] == '-') ++i;
    bool digits = false;
    while (i < item.size() && digit(i)) {
        ++i;
        digits = true;
    }
    if (i < item.size() && item[i] == '.') {
        ++i;
        while (i < item.size() && digit(i)) {
            ++i;
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i == item.size() && item[0] != '+') {
        // Digits with a point at most (the form of nearly every value of a data file): from_chars
        // rounds correctly as strtod does, without the copy. At most 64 characters cannot leave
        // the range of double.
        double v = 0.0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
        if (ec == std::errc() && end == item.data() + item.size()) return v;
    }
    std::string s(item);
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        s[i] = 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        bool exp_digits = false;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            exp_digits = true;
        }
        if (!exp_digits) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    double v = std::strtod(s.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace kestrovan
