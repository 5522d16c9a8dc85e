#pragma once
// The column readers: single-column blocks (rd1col) and multiple columns once their questions
// are answered (read_columns; rdmcol in io/loaders.hpp asks them first). They note what they
// have to say (io/load_notes.hpp) and never talk.
#include <istream>
#include <string>
#include <string_view>

#include "io/load_notes.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

// Single-column blocks: identifier, first year, one value per line. An identifier made of digits
// only is recognised inside a block whose values carry decimal points (with a warning); a value
// that is not finite or is 100 mm or more is refused. True when read (the table holds at least
// one series); false after the refusal naming the line. `lines_before` is the number of lines
// of the file passed over before `file`'s position (for the line numbers of the messages).
bool rd1col(std::istream& file, SeriesTable& table, LoadNotes& notes, int lines_before = 0);

namespace detail {

// Texts compared over 8 characters; a run of asterisks stands for "*".
std::string sentinel_form(std::string_view text);

// How a multiple-column file is laid out: its number of columns (years and the series) and its
// padding text (in sentinel_form).
struct ColumnLayout {
    int columns = 0;
    std::string sentinel;
};

// Reads a multiple-column file laid out as `layout` says into `table`: the naming line, then one
// line per year. A number of columns beyond the table's limit is refused first. True when read;
// false after the refusal naming the line. `lines_before` is the number of lines of the file
// passed over before `file`'s position.
bool read_columns(std::istream& file, const ColumnLayout& layout, SeriesTable& table, LoadNotes& notes,
                  int lines_before);

}  // namespace detail
}  // namespace kestrovan
