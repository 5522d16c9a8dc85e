#pragma once
// The kinds of data file, written down once.
//
// kFileFormats holds one row per kind: its run-file name (format = "..."), its number and line
// in the format menu, its name in messages, the questions it takes (header lines to pass over,
// the unit of the values), how its content is recognised (format = "auto") and how it is
// read. The format menu, the run file's names and checks, recognition and the README's table of
// formats all come from this table: adding a format means adding a row here (and its FileKind)
// with its reader, and its line in the README's table.
//
// The readers note what they have to say (io/load_notes.hpp) and never talk: read_data
// (io/loaders.hpp) is the loading dialogue's way in, read_series_file the silent one.
#include <array>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/load_notes.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

enum class FileKind {
    RingWidths,       // Tucson ring widths (decade lines)
    Chronologies,     // Tucson chronologies (index decade lines)
    SingleColumn,     // blocks of identifier, first year and one value per line
    MultipleColumns,  // a naming line and one line per year
    Csv,              // a table: header row of names, one row per year (commas, semicolons or tabs)
    Heidelberg,       // HEADER: and DATA: blocks (.fh)
    Compact,          // a header line per series ("=N", "=I", read format, "~") and packed values
    Tridas,           // TRiDaS XML measurement series
    Recognised,       // any kind with a recogniser, recognised from the file's content
};

// How a data file is read: what the format menu and the column questions answer.
struct LoadSettings {
    FileKind kind = FileKind::RingWidths;
    int header_lines = 0;  // lines passed over before a column file's data (single or multiple columns)
    int columns = 0;       // multiple columns: the number of columns, years included
    std::string sentinel;  // multiple columns: the padding text as typed (a run of asterisks is "*")
    int unit_parts = 1;    // CSV tables: the values' unit in parts of a millimetre (1 = millimetres)
};

// What a format's read takes: the file at its data (past a byte-order mark and the header lines
// passed over, `lines_before` of them), the settings, and where the series, the three header
// lines and the notes go.
struct FormatRead {
    std::istream& file;
    const LoadSettings& settings;
    int lines_before;
    SeriesTable& table;
    std::array<std::string, 3>& header;
    LoadNotes& notes;
};

// What the recognisers look at: the start of the file and its first lines, and (for the kinds
// that only a whole read tells apart) whether the whole file reads as a kind.
class FileProbe {
public:
    struct Line {
        int number = 0;  // in the file
        std::string text;
    };
    // Reads the start of `file` (past a UTF-8 byte-order mark) and leaves the file at its start.
    explicit FileProbe(std::istream& file);
    // The first 64 KiB.
    std::string_view start() const { return start_; }
    // The first 20 lines of the start that hold something.
    const std::vector<Line>& lines() const { return lines_; }
    // True when the whole file reads as `kind` without a fault; nothing is said, the file is left
    // at its start, and the answer is kept for the next question about the same kind.
    bool reads_without_fault(FileKind kind);

private:
    std::istream& file_;
    std::string start_;
    std::vector<Line> lines_;
    std::vector<std::pair<FileKind, bool>> reads_;  // the kinds asked about, and the answers
};

// What a recogniser found.
struct Recognition {
    bool found = false;
    int line = 0;        // the line that shows the kind (0: the document as a whole): the earliest wins
    std::string reason;  // why it is the kind ("line 1 is HEADER:"); when not found, why not, or ""
};

struct FileFormat {
    FileKind kind;
    const char* name;       // the run file's name (format = "...")
    int menu;               // its number in the format menu
    const char* menu_text;  // its line in the format menu, before the number
    const char* title;      // in messages: "Format recognised: CSV table (...)"
    const char* auto_name;  // how the refusal of an unrecognised file names it ("" for none)
    bool header_lines;      // the lines to pass over before the data are asked (run file: header_lines)
    bool units;             // the values' unit is taken from the run file (units)
    // How the content shows the kind (nullptr: never recognised). A recogniser that reads the
    // whole file is tried only when none of the others recognises the file.
    Recognition (*recognise)(FileProbe& probe);
    bool whole_file;
    // Reads every series into the table with the notes of the read, its closing lines included
    // (nullptr: the kind is recognised first).
    bool (*read)(const FormatRead& read);
};

// The kinds, in the order of the format menu.
extern const std::array<FileFormat, 9> kFileFormats;

// The row of `kind`.
const FileFormat& file_format(FileKind kind);
// The row of a run-file name, or of a menu number; nullptr when no row has it.
const FileFormat* file_format_named(std::string_view name);
const FileFormat* file_format_at_menu(int number);
// The highest number of the format menu.
int last_menu_number();

// A run-file name's kind (nullopt for a name no row has), and a kind's name.
std::optional<FileKind> file_kind_of(std::string_view name);
std::string file_kind_name(FileKind kind);
// True for the kinds that are asked for header lines to pass over.
bool takes_header_lines(FileKind kind);
// The run-file names of the rows, quoted, for messages: "\"csv\" or \"auto\"". With `only`, the
// rows for which it is true.
std::string format_names_text(bool FileFormat::*only = nullptr);

// The kind of a file as its content shows it, with the reason; FileKind::Recognised with the
// reason it is none when no recogniser recognises it. The file is left at its start.
FileKind recognise_kind(std::istream& file, std::string& reason);

// Reads every series of `file` as `settings` say into `table` (replacing what it held; the
// matrix is sized to the data; each series' place in the file is recorded) and the three
// 88-character header lines. The file is read from its start, past a UTF-8 byte-order mark.
// Returns true when the data were read; false when the read failed: a damaged file, no series at
// all, a series without values or with years outside kEarliestYear..kLatestYear, or more than
// kMaxSeries series, kMaxYears values in a series or a span of kMaxYears years. Everything the
// loading dialogue prints about the read goes into `notes` (its messages name the line of the
// file), ending in "Input data read successfully" or in the refusal's closing and its pause;
// with FileKind::Recognised it begins with the kind found, or ends in the refusal of a file that
// fits none. notes.renamed lists the names given to series whose names do not fit 8 characters.
bool read_series_file(std::istream& file, const LoadSettings& settings, SeriesTable& table,
                      std::array<std::string, 3>& header, LoadNotes& notes);

}  // namespace kestrovan
