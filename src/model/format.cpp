#include "model/format.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace kestrovan {

namespace {
std::string stars(int width) { return std::string(static_cast<std::size_t>(width > 0 ? width : 0), '*'); }

std::string right_justify(const std::string& s, int width) {
    if (static_cast<int>(s.size()) > width) return stars(width);
    return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}
}  // namespace

std::string fmt_i(long long value, int width) {
    // The digits from the right end of a buffer, then the sign; one string built from it. (The
    // files hold millions of these fields.)
    char buf[24];
    char* p = buf + sizeof buf;
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    const std::size_t digits = static_cast<std::size_t>(buf + sizeof buf - p);
    if (width < 0 || digits > static_cast<std::size_t>(width)) return stars(width);
    std::string out(static_cast<std::size_t>(width), ' ');
    std::copy(p, buf + sizeof buf, out.end() - static_cast<std::ptrdiff_t>(digits));
    return out;
}

std::string fmt_f(double value, int width, int decimals) {
    if (!std::isfinite(value)) return stars(width);
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s = buf;
    // Fortran never prints "-0.000": a value that rounds to zero loses its sign.
    if (s[0] == '-' && s.find_first_of("123456789") == std::string::npos) s.erase(0, 1);
    if (static_cast<int>(s.size()) > width) {
        // Drop the optional leading zero: "0.123" -> ".123", "-0.123" -> "-.123".
        if (s.rfind("0.", 0) == 0)
            s.erase(0, 1);
        else if (s.rfind("-0.", 0) == 0)
            s.erase(1, 1);
    }
    return right_justify(s, width);
}

std::string fmt_e(double value, int width, int decimals) {
    if (!std::isfinite(value)) return stars(width);
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*E", decimals > 0 ? decimals - 1 : 0, value);
    // Rewrite d.dddE+xx as 0.ddddE+xx (Fortran E form), exponent one larger.
    std::string s = buf;
    auto epos = s.find('E');
    std::string mant = s.substr(0, epos);
    int expo = std::stoi(s.substr(epos + 1));
    bool neg = !mant.empty() && mant[0] == '-';
    if (neg) mant.erase(0, 1);
    std::string digits;
    for (char c : mant)
        if (c != '.') digits += c;
    if (value == 0.0) expo = -1;
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "E%c%02d", (expo + 1) < 0 ? '-' : '+', std::abs(expo + 1));
    std::string out = std::string(neg ? "-" : "") + "0." + digits + ebuf;
    return right_justify(out, width);
}

Columns& Columns::at(int column, std::string_view text) {
    std::size_t start = static_cast<std::size_t>(column > 1 ? column - 1 : 0);
    if (line_.size() < start) line_.resize(start, ' ');
    line_.resize(start);
    line_ += text;
    return *this;
}

Columns& Columns::add(std::string_view text) {
    line_ += text;
    return *this;
}

std::string at_column(int column, std::string_view text) {
    return std::string(static_cast<std::size_t>(column > 1 ? column - 1 : 0), ' ') + std::string(text);
}

std::string fixed_width(std::string_view text, std::size_t width) {
    std::string s(text.substr(0, std::min(width, text.size())));
    s.resize(width, ' ');
    return s;
}

std::string rtrim(std::string_view text) {
    auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string trim(std::string_view text) {
    auto b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    auto e = text.find_last_not_of(' ');
    return std::string(text.substr(b, e - b + 1));
}

std::string upper_case(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace kestrovan
