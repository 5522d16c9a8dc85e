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

// Passes over a UTF-8 byte-order mark at the current position (the start of a file); the
// position is unchanged when there is none. True when one was passed over.
bool skip_byte_order_mark(std::istream& file);

}  // namespace kestrovan
