#include "io/text_lines.hpp"

#include <string>

namespace kestrovan {

bool read_text_line(std::istream& file, std::string& line, std::size_t max_keep) {
    line.clear();
    std::streambuf* buf = file.rdbuf();
    if (!buf || !file.good()) {
        if (file) file.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    using traits = std::char_traits<char>;
    auto c = buf->sbumpc();
    if (traits::eq_int_type(c, traits::eof())) {
        file.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    // No line of a data file is anywhere near this long: a file that has none of its line ends
    // within it is not a text file of ours, and reading on through (perhaps gigabytes of it)
    // would only delay the message. Reading ends here, with badbit telling why.
    constexpr std::size_t kLongestLine = std::size_t{1} << 20;
    std::size_t consumed = 0;
    for (;;) {
        if (traits::eq_int_type(c, traits::eof())) {
            file.setstate(std::ios::eofbit);
            return true;
        }
        char ch = traits::to_char_type(c);
        if (ch == '\n') return true;
        if (ch == '\r') {
            if (traits::eq_int_type(buf->sgetc(), traits::to_int_type('\n'))) buf->sbumpc();
            return true;
        }
        if (line.size() < max_keep) line += ch;
        if (++consumed >= kLongestLine) {
            file.setstate(std::ios::badbit);
            return true;
        }
        c = buf->sbumpc();
    }
}

bool line_too_long(const std::istream& file) { return file.bad(); }

bool skip_byte_order_mark(std::istream& file) {
    std::streambuf* buf = file.rdbuf();
    if (!buf || !file.good()) return false;
    const auto start = buf->pubseekoff(0, std::ios::cur, std::ios::in);
    static constexpr unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};
    int matched = 0;
    while (matched < 3 && buf->sgetc() == kMark[matched]) {
        buf->sbumpc();
        ++matched;
    }
    if (matched == 3) return true;
    if (matched > 0 && start != std::streampos(std::streamoff(-1))) buf->pubseekpos(start, std::ios::in);
    return false;
}

}  // namespace kestrovan
