#pragma once
// What the multiple-column reader shares with the format menu and with read_data: its two
// questions, the sentinel's form and the read of the columns once the questions are answered.
// Internal to the io folder; rd1col and rdmcol are in loaders.hpp.
#include <istream>
#include <string>
#include <string_view>

#include "model/series_table.hpp"

namespace kestrovan {

class Console;

namespace detail {

// The number of columns of a multiple-column file (at least 2: years and one series); a number
// the table cannot hold is refused by the read (read_columns).
int ask_column_count(Console& console);

// Texts compared over 8 characters; a run of asterisks stands for "*".
std::string sentinel_form(std::string_view text);

// The sentinel as typed (trimmed): any text but blanks. "/" is taken as a sentinel here, not as a
// stop: it is a character a file may be padded with.
std::string ask_sentinel(Console& console);

// Reads a multiple-column file of `columns` columns (years and the series) whose padding is
// `sentinel` (in sentinel_form) into `table`: the naming line, then one line per year. True when
// read; false after the message naming the line. `lines_before` is the number of lines of the
// file passed over before `file`'s position.
bool read_columns(Console& console, std::istream& file, int columns, const std::string& sentinel,
                  SeriesTable& table, int lines_before);

}  // namespace detail
}  // namespace kestrovan
