#pragma once
// The console of a worker thread (`BufferConsole`): it has no input, and keeps what is printed so
// that the caller can copy it to the real console in the order a single thread would have printed
// it. The threads themselves (`worker_threads`, `run_workers`, `split_ranges`) are in
// model/workers.hpp, included here.
#include <cstddef>
#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "model/workers.hpp"

namespace kestrovan {

// A stream buffer appending to a string that keeps its capacity when cleared, so a worker's
// console allocates nothing once it has grown to its largest output.
class StringSinkBuffer : public std::streambuf {
public:
    const std::string& text() const { return text_; }
    void clear() { text_.clear(); }

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) text_.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        text_.append(s, static_cast<std::size_t>(n));
        return n;
    }

private:
    std::string text_;
};

// The console of a worker thread. It has no input: code run on a worker must never ask a
// question or wait at a pause (a read would meet the end of input at once). What it prints is
// kept; `size()` marks a position, and `copy_to` hands a stretch of it to the real console.
class BufferConsole {
public:
    BufferConsole() : out_(&sink_), console_(in_, out_) {}
    BufferConsole(const BufferConsole&) = delete;
    BufferConsole& operator=(const BufferConsole&) = delete;

    Console& console() { return console_; }
    std::size_t size() const { return sink_.text().size(); }
    std::string_view text(std::size_t from, std::size_t to) const {
        return std::string_view(sink_.text()).substr(from, to - from);
    }
    // Prints text(from, to) on `target`, as the worker's calls printed it.
    void copy_to(Console& target, std::size_t from, std::size_t to) const {
        if (to > from) target.text(text(from, to));
    }
    void clear() { sink_.clear(); }

private:
    std::istream in_{nullptr};
    StringSinkBuffer sink_;
    std::ostream out_;
    Console console_;
};

}  // namespace kestrovan
