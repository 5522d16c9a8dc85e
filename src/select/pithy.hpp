#pragma once
// Pith offsets: the number of rings between the pith and the first measured ring of each series,
// read from a text file (one value per record) for Regional Curve Standardization.
#include <optional>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "io/output_files.hpp"
#include "model/run_options.hpp"
#include "model/series_table.hpp"
#include "model/year_matrix.hpp"

namespace kestrovan {

// Most offsets a file may hold.
inline constexpr int kMaxPithOffsets = kMaxSeries;

// Where a record format puts the one integer of a record: zero-based first column and width.
struct IntegerField {
    int column = 0;
    int width = 0;
};

// The field of an offset record format (a Fortran-style edit list, as parse_edit_list reads
// it) made of integer fields (iN, iN.M), skips (nX, X, Tn, TRn, TLn), repeat counts and nested
// parentheses, e.g. "(2x,i3)" or "(i4)": its first integer field. nullopt when the format cannot
// be read, holds real fields or "/", has no integer field, or reaches past 100000 columns or the
// walk's step budget before its first integer field.
std::optional<IntegerField> parse_record_format(std::string_view format);

// Reads an integer from a record at `field` the way a formatted integer read does: blanks are
// ignored, an all-blank field (or a record too short) is 0; anything else is nullopt.
std::optional<int> read_integer_field(std::string_view record, IntegerField field);

// How the records of an offset file are read: what the reading-method questions answer.
struct PithReading {
    bool one_per_line = true;  // method 1: the number wherever it stands on its line
    IntegerField field;        // method 2: the field of the user's format
    std::string format;        // method 2: the format as typed
    int header_lines = 0;
};

// What follows an offset file that cannot be read.
enum class PithAfterError { Again, AnotherFile };

// Where the answers of the pith-offset dialogue come from: the console, or a run file.
class PithAnswers {
public:
    virtual ~PithAnswers() = default;
    // "Is there a pith offset file?" and, for true, its name (an existing file); nullopt: none.
    virtual std::optional<std::string> pith_file(const OutputFiles& files, const SeriesTable& table) = 0;
    // The name of another offset file, after a read error.
    virtual std::string another_pith_file(const OutputFiles& files, const SeriesTable& table) = 0;
    // The reading method, header lines and record format.
    virtual PithReading pith_reading() = 0;
    // The file could not be read (`reason` names the line): read it again, or name another.
    virtual PithAfterError after_pith_read_error(const std::string& name, const std::string& reason) = 0;
    // The offsets read cannot be used (message printed, `reason` its first line): the console
    // asks the first question again; a run file ends the run.
    virtual void pith_refused(const std::string& reason) = 0;
};

// The console's answers.
class ConsolePith : public PithAnswers {
public:
    explicit ConsolePith(Console& console) : console_(console) {}
    std::optional<std::string> pith_file(const OutputFiles& files, const SeriesTable& table) override;
    std::string another_pith_file(const OutputFiles& files, const SeriesTable& table) override;
    PithReading pith_reading() override;
    PithAfterError after_pith_read_error(const std::string& name, const std::string& reason) override;
    void pith_refused(const std::string&) override {}

protected:
    Console& console_;
};

// The pith-offset dialogue and reader. Sets params.pith_present and params.pith_offsets: one
// offset per series of the current table. A file with one offset per series of the data file as
// read gives each series the offset of its place in that file (so after censoring the kept
// series keep their own offsets); a file with one offset per series of the current table is
// taken in table order. Any other count is refused, naming both counts, and the question comes
// again (another file, or none). All 0 and flag 0 when there is no offset file. One-per-line
// files (method 1) are read wherever the number stands on its line; with a format (method 2)
// digits outside its field are an error naming the line. An unreadable file lets the user try
// again, name another file or quit. More than 4500 values stop the program.
void pithy(PithAnswers& answers, Console& console, const OutputFiles& files, const SeriesTable& table,
           RunOptions& params);
// The dialogue at the console.
void pithy(Console& console, const OutputFiles& files, const SeriesTable& table, RunOptions& params);

// Checks pith offsets against the series they belong to: an offset counts rings missing to the
// pith and cannot be negative, and a series' last ring (offset + length) must stay within the
// kMaxYears ages a Regional curve holds. Prints one message per offending series and returns
// false when any offset is refused (`reason`, when given, receives the first message).
bool check_pith_offsets(Console& console, const SeriesTable& table, const RunOptions& params,
                        std::string* reason = nullptr);

}  // namespace kestrovan
