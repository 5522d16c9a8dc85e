#pragma once
// Text fields of fixed-column lines and typed answers: blanking and closing up texts (blank,
// stringclean), the integer read format of a typed number (intfrm, read_int_format), integer
// fields of fixed columns, and lines made safe to show.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kestrovan {

// Sets the first n characters of text to blanks (n below 0 counts as 0; text grows if shorter).
void blank(std::string& text, int n);

// Closes up the blanks inside the first n characters of text, gathering them at position n.
void stringclean(std::string& text, int n);

// Left-justifies the number typed in text and returns its integer read format, "(iN)" with N
// the count of non-blank characters ("(i0)" for a blank text).
std::string intfrm(std::string& text);

// Reads an integer from text with a format "(iN)" as returned by intfrm: the first N
// characters, blanks around the digits allowed, a field of blanks reading as 0. nullopt when
// the field does not hold an integer (or the format is not of that form).
std::optional<int> read_int_format(std::string_view text, std::string_view format);

// An integer field of a fixed-column line (blanks around it allowed, all blanks = 0);
// nullopt when it holds anything else.
std::optional<long long> int_field(std::string_view field);

// The integer in the `width` columns of text from the zero-based `column` on, read as int_field
// does; columns past the end of text count as blanks. nullopt when the field holds anything
// else or a number outside the range of int.
std::optional<int> int_at(std::string_view text, std::size_t column, std::size_t width);

// True when every character of text is a blank (also for an empty text).
bool all_blank(std::string_view text);

// A file line as shown on the console and kept as a header line: a tab becomes a blank and
// every other control byte "?", so that nothing in a damaged file can steer the terminal or
// split an output line.
std::string printable(std::string_view text);

// At most `most` characters of text as a message quotes them (printable), "..." after them when
// text is longer: a message names a cell or a line of a damaged file, it does not repeat it
// whole. A UTF-8 sequence is not cut.
std::string excerpt(std::string_view text, std::size_t most = 60);

// Text as valid UTF-8 for files that must hold it (the run summary's JSON, the batch's CSV):
// well-formed UTF-8 sequences are kept, and every other byte (Latin-1 text, a file name in
// another encoding) becomes the four characters \xHH, its value in upper-case hex.
std::string utf8_or_escaped(std::string_view text);

// A message on one line: newline, carriage return and tab become \n, \r and \t, every other
// control byte \xHH, so that a name holding them can neither split the message nor steer the
// terminal.
std::string one_line(std::string_view text);

}  // namespace kestrovan
