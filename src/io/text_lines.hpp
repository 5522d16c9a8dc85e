#pragma once
// Reading the lines of a data file: any line end (LF, CRLF, CR), a bound on what a line may
// hold, and a UTF-8 byte-order mark at the start passed over.
#include <cstddef>
#include <istream>
#include <string>

namespace kestrovan {

// One line of a text file as read by the file readers: LF, CRLF and CR-only line ends alike.
// Returns false at the end of the file. At most max_keep characters are kept (the rest of the
// line is consumed and dropped), so a binary file without line ends cannot exhaust memory; a
// "line" of more than a mebibyte ends the reading there with the stream's badbit set, so that
// callers can tell such a file from one that ended (see line_too_long).
bool read_text_line(std::istream& file, std::string& line, std::size_t max_keep = 4096);

// True when reading stopped at a line of more than a mebibyte (read_text_line).
bool line_too_long(const std::istream& file);

// The lines of a stream as read_text_line reads them, the same lines and the same state bits set
// on the stream at the same lines, taken from the stream in blocks rather than character by
// character: for a reader that reads the rest of its file line by line. The stream is read ahead
// of the lines returned, by up to a block.
class TextLineReader {
public:
    explicit TextLineReader(std::istream& file, std::size_t block = std::size_t{1} << 16)
        : file_(file), block_(block < 1 ? 1 : block) {}

    // read_text_line(file, line, max_keep) for the next line.
    bool next(std::string& line, std::size_t max_keep = 4096);

private:
    // Takes the next block of the stream; false at its end.
    bool fill();

    std::istream& file_;
    std::size_t block_;
    std::string buffer_;
    std::size_t pos_ = 0;  // the next character of buffer_ to read
};

// Passes over a UTF-8 byte-order mark at the current position (the start of a file); the
// position is unchanged when there is none. True when one was passed over.
bool skip_byte_order_mark(std::istream& file);

}  // namespace kestrovan
