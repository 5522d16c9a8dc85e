#pragma once
// Tucson decade files: ring-width series ("mr" read, "mw" write) and chronologies ("ir" read,
// "iw" write), one series per call of trrw; and the format-described block found inside
// ring-width files (datar), whose read format is an edit list (io/edit_list.hpp). The text
// helpers (blank, stringclean, intfrm, integer fields) are in io/text_fields.hpp, the line
// reading in io/text_lines.hpp. The reader notes what it has to say (io/load_notes.hpp) and never
// talks; the writer (io/tucson_writer.cpp) warns on the console.
#include <array>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/load_notes.hpp"

namespace kestrovan {

class Console;

inline constexpr int kEndOfFile = -999;  // count and series counter at the end of a file

// One series in transit between a file and memory (the read buffer).
struct TucsonSeries {
    std::string id;  // 8 characters, blank padded
    int first_year = 0;
    int count = 0;              // values stored; kEndOfFile once the file is exhausted
    std::vector<float> values;  // values[k] belongs to year first_year + k
    std::vector<int> samples;   // chronologies: sample count per value (same positions)
};

// What a reader carries from one call to the next on the same file.
struct TucsonReadState {
    int counter = 0;                    // series counter: raised by one per call; kEndOfFile at the end
    std::string title;                  // 85 characters: first unreadable line of the last call
    std::array<std::string, 3> header;  // 88-character header lines, cleared by the first call
    // Set when a call met something the table cannot hold or a block that could not be read
    // (a series longer than kMaxYears values, a damaged format-described block). The message is
    // in `notes`; the caller must treat the load as failed.
    bool failed = false;
    int data_lines = 0;   // data lines the last call read (0: it met only other lines)
    int lines = 0;        // lines of the file read so far (the number of the last one)
    int series_line = 0;  // line of the first data line of the last series returned
    // Ring widths: the unit the end marker of the last series declared, in parts of a
    // millimetre (100 for 999, 1000 for -9999); 0 when the series ended where 9990 padding filled
    // the rest of its last line and the next line began another series (or the file ended). Such a
    // series' values are in hundredths: the caller gives it the unit of the file's other series.
    int unit_parts = 0;
    // For such a series: the refusal due if its unit turns out to be hundredths (a value of
    // 100 mm or more in hundredths, or 9990 where it cannot be padding), else "".
    std::string padded_wide;
    // Lines on which 9990 was read as padding (no value): after a series' last value (to the end
    // of its line, the next line beginning another series), or before the first value of its
    // first line in a series of hundredths. In a series of thousandths 9990 is a width of
    // 9.990 mm; in one of hundredths, 9990 anywhere else is refused naming its line.
    std::vector<int> padding_lines;
    // What the calls had to say (the lines that are not data, the refusals), appended call after
    // call: the caller prints them, or drops them.
    LoadNotes notes;
};

// What a writer carries from one series to the next on the same file: each kind of warning is
// given once per file.
struct TucsonWriteState {
    std::string file_name;      // named in warnings and in the message of a failed write
    bool warned_clamp = false;  // a value was too wide for its field and was clamped
    bool warned_id = false;     // "-" in a layout-switch column of an identifier became "_"
};

// Reads the next series of a Tucson file in mode "mr" (ring widths, millimetres) or "ir"
// (chronology indices with sample counts). On return series.count is the number of values
// stored, or kEndOfFile (then state.counter is kEndOfFile too). Lines that are not data before a
// series are noted (state.notes) and kept as title/header lines. Inside a series every line
// must continue it: the same identifier, the next decade, readable fields (right-aligned whole
// numbers; a tab counts as a blank) and a value for every year the line covers. Anything else,
// and a series cut off by the end of the file, ends the call with a refusal naming the line and
// state.failed set: a value is never put at another year or into another series. A chronology
// whose first line carries its decade year has the 9990 fill pairs before its first value
// skipped. Line ends LF, CRLF and CR read alike.
void trrw(std::istream& file, std::string_view mode, TucsonSeries& series, TucsonReadState& state);

// One series as the writer takes it: values[k] belongs to year first_year + k; samples (one
// count per value) may be empty; label goes to columns 83-88.
struct TucsonOutSeries {
    std::string_view id{};
    int first_year = 0;
    std::span<const float> values{};
    std::span<const int> samples{};
    std::string_view label{};
};

// Writes one series in mode "mw" (ring widths in thousandths of a millimetre, ended by -9999)
// or "iw" (chronology: index x 1000 and sample count pairs, label in columns 83-88). Nothing is
// written when the series has no values. When samples is empty (or starts with a count of 0 or
// less) every sample count is written as 1.
// A value too wide for its field is clamped to the widest value the field can carry as data,
// and an identifier that would put "-" into a layout-switch column gets "_" there; each is
// warned about once per file. A stream that fails stops the run with a message naming the file.
void trrw(std::ostream& file, std::string_view mode, const TucsonOutSeries& series, TucsonWriteState& state,
          Console& console);

// Characters of the identifier on the ring-width decade line of a series that begins in
// `first_year` (8 from -999 on, 7 from -9999 to -1000, 6 before): the widest name the writer
// carries whole on every line of that series.
int ring_identifier_width(int first_year);

// Reads a format-described block: title lines, a count line ("n  " count in columns 3-10, first
// year in 13-20, a read format of at most 8 characters in 23-30) and the values read with that
// format (an edit list as parse_edit_list reads it). Fills series (id from the first 8
// characters of title) and title. Returns false when the block could not be read completely
// (the refusal in `notes`): a read format that cannot be used, a value that cannot be read, a line
// that ends before the fields the format puts on it, a value that is not a plausible width or
// index (100 or more), or the end of the file; at the end of the file without a count line
// series.count is kEndOfFile. `lines`, when given, counts the lines read (for the messages).
bool datar(std::istream& file, TucsonSeries& series, std::string& title, LoadNotes& notes,
           int* lines = nullptr);

}  // namespace kestrovan
