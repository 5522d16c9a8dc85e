#include "io/text_lines.hpp"

#include <algorithm>
#include <cstring>
#include <string>

namespace kestrovan {

namespace {

// No line of a data file is anywhere near this long: a file that has none of its line ends
// within it is not a text file of ours, and reading on through (perhaps gigabytes of it) would
// only delay the message. Reading ends there, with badbit telling why.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;

}  // namespace

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

bool TextLineReader::fill() {
    std::streambuf* buf = file_.rdbuf();
    if (!buf) return false;
    buffer_.resize(block_);
    const std::streamsize got = buf->sgetn(buffer_.data(), static_cast<std::streamsize>(block_));
    buffer_.resize(static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
    pos_ = 0;
    return !buffer_.empty();
}

bool TextLineReader::next(std::string& line, std::size_t max_keep) {
    line.clear();
    if (!file_.good()) {
        if (file_) file_.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    if (pos_ == buffer_.size() && !fill()) {
        file_.setstate(std::ios::eofbit | std::ios::failbit);
        return false;
    }
    std::size_t consumed = 0;  // characters of the line, its end not counted
    for (;;) {
        if (pos_ == buffer_.size() && !fill()) {
            file_.setstate(std::ios::eofbit);
            return true;
        }
        // The line's characters in this block, up to its end or to the longest line.
        const char* from = buffer_.data() + pos_;
        const std::size_t limit = std::min(buffer_.size() - pos_, kLongestLine - consumed);
        const void* lf = std::memchr(from, '\n', limit);
        std::size_t k = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - from) : limit;
        if (const void* cr = std::memchr(from, '\r', k))
            k = static_cast<std::size_t>(static_cast<const char*>(cr) - from);
        if (line.size() < max_keep) line.append(from, std::min(k, max_keep - line.size()));
        consumed += k;
        pos_ += k;
        if (k < limit) {
            const char end = buffer_[pos_++];
            if (end == '\r' && (pos_ < buffer_.size() || fill()) && buffer_[pos_] == '\n') ++pos_;
            return true;
        }
        if (consumed >= kLongestLine) {
            file_.setstate(std::ios::badbit);
            return true;
        }
    }
}

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
