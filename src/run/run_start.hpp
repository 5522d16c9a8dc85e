#pragma once
// The opening of a run: banner, data-file prompt, report file, loading the series, the
// missing-value screen and the totals.
#include <istream>
#include <optional>
#include <string>
#include "console/console.hpp"

#include "io/crn_writer.hpp"
#include "io/gaps.hpp"
#include "io/output_files.hpp"
#include "io/series_input.hpp"
#include "model/series_table.hpp"

namespace kestrovan {

class DialogueAnswers;  // run/dialogue.hpp

// What the run goes on with after its start: the console, the run's files (data file name,
// open report, header lines) and the loaded Series table.
struct RunStart {
    explicit RunStart(Console& c) : console(c) {}
    Console& console;
    OutputFiles files;
    SeriesTable table;
    // Missing rings inside series are filled (--fill-gaps, fill_gaps = true) instead of stopping
    // the run; `gaps` says what was filled and cut off.
    bool fill_gaps = false;
    GapFilling gaps;
    LoadNotes notes;    // the kind recognised and the series renamed by the load
    DataBankSite site;  // the site the data file's own header lines name
};

// Prints the banner and the gap warning, then asks for a data file until one is loaded without
// missing values, creating its report file; ends with the totals on the screen and in the report.
// Every other way out is a ProgramStop ("/" at the prompt, Q at the format menu, a refused
// retry, missing values, end of input).
void run_start(RunStart& run);
// The same with the answers of `answers`; `greet` prints the banner and the gap warning first.
void run_start(RunStart& run, DialogueAnswers& answers, bool greet);

// Why a data file named in a run file or on the command line cannot be used (it does not exist,
// is not a regular file, or cannot be read); nullopt when it can.
std::optional<std::string> data_file_problem(const std::string& name);

// The SHA-256 of what a stream holds from its position to its end, as 64 lower-case hex digits
// ("" when it cannot be read). The run summary's checksum of the data file is taken with it at
// load time, from the file the readers read.
std::string stream_sha256(std::istream& in);

// The pieces of run_start, for the program's later stages and for tests.
void print_banner(Console& console);
// The abnormal-termination message and its wait for RETURN; throws ProgramStop (abnormal).
[[noreturn]] void abnormal_termination(Console& console);
// The missing-value screen: true when no series holds a negative value (messages printed; the
// refusal names the option that fills gaps).
bool missing_value_screen(Console& console, const SeriesTable& table);
// The same with gap filling chosen: negative values inside series are filled by linear
// interpolation and missing rings at the ends cut off (fill_gaps; `done` says what was done).
// False only when a series holds no value at all.
bool missing_value_screen(Console& console, SeriesTable& table, bool fill, GapFilling& done);

}  // namespace kestrovan
