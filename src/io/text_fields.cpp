#include "io/text_fields.hpp"

#include <algorithm>
#include <limits>

#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

void blank(std::string& text, int n) {
    if (n < 0) n = 0;
    if (text.size() < static_cast<std::size_t>(n)) text.resize(static_cast<std::size_t>(n), ' ');
    std::fill_n(text.begin(), n, ' ');
}

void stringclean(std::string& text, int n) {
    std::size_t len = std::min<std::size_t>(text.size(), static_cast<std::size_t>(std::max(n, 0)));
    std::string kept;
    for (std::size_t i = 0; i < len; ++i)
        if (text[i] != ' ') kept += text[i];
    kept.resize(len, ' ');
    std::copy(kept.begin(), kept.end(), text.begin());
}

std::string intfrm(std::string& text) {
    std::size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ') ++lead;
    if (lead == text.size()) lead = 0;
    std::size_t nonblank =
        static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return c != ' '; }));
    if (lead > 0) {
        std::string moved = text.substr(lead, nonblank);
        moved.resize(text.size(), ' ');
        text = moved;
    }
    return "(i" + std::to_string(nonblank) + ")";
}

std::optional<int> read_int_format(std::string_view text, std::string_view format) {
    std::string f = trim(format);
    if (f.size() < 4 || f.front() != '(' || f.back() != ')' || (f[1] != 'i' && f[1] != 'I'))
        return std::nullopt;
    auto width = parse_int(std::string_view(f).substr(2, f.size() - 3));
    if (!width || *width < 1) return std::nullopt;
    return int_at(text, 0, static_cast<std::size_t>(*width));
}

std::optional<long long> int_field(std::string_view field) {
    std::size_t a = 0, b = field.size();
    while (a < b && field[a] == ' ') ++a;
    while (b > a && field[b - 1] == ' ') --b;
    if (a == b) return 0;
    std::string_view s = field.substr(a, b - a);
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 15) return std::nullopt;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return neg ? -v : v;
}

std::optional<int> int_at(std::string_view text, std::size_t column, std::size_t width) {
    const std::string_view field = column < text.size() ? text.substr(column, width) : std::string_view();
    const auto v = int_field(field);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*v);
}

bool all_blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\t')
            c = ' ';
        else if (u < 0x20 || u == 0x7f)
            c = '?';
    }
    return out;
}

std::string excerpt(std::string_view text, std::size_t most) {
    if (text.size() <= most) return printable(text);
    std::size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return printable(text.substr(0, cut)) + "...";
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0 when there is none: no
// overlong forms, no surrogates, nothing above U+10FFFF.
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return n;
}

}  // namespace

std::string one_line(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (u < 0x20 || u == 0x7f)
            out += {'\\', 'x', hex[u >> 4], hex[u & 15]};
        else
            out += c;
    }
    return out;
}

std::string utf8_or_escaped(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_sequence(text, i);
        if (n > 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        const auto b = static_cast<unsigned char>(text[i++]);
        out += {'\\', 'x', hex[b >> 4], hex[b & 15]};
    }
    return out;
}

}  // namespace kestrovan
