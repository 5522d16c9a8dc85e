#include "run/run_start.hpp"

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>
#include <vector>

#include "console/ask.hpp"
#include "console/report.hpp"
#include "console/stop.hpp"
#include "io/loaders.hpp"
#include "model/format.hpp"
#include "run/dialogue.hpp"

namespace kestrovan {

namespace {

constexpr std::size_t kNameWidth = 50;

// What the program does with missing rings inside a series, said before the first question.
void print_gap_warning(Console& console) {
    console.blank_line();
    for (const char* l : {
             "*******************************************************************",
             "*** WARNING: MISSING RINGS INSIDE A SERIES (NEGATIVE VALUES     ***",
             "*** OTHER THAN THE -9999 END MARKER) STOP THE RUN. START THE    ***",
             "*** PROGRAM WITH --fill-gaps (IN A RUN FILE: fill_gaps = true)  ***",
             "*** TO FILL THEM BY LINEAR INTERPOLATION; THE REPORT LISTS      ***",
             "*** EVERY FILLED RING. MISSING RINGS AT THE ENDS ARE CUT OFF.   ***",
             "*******************************************************************",
         })
        console.line(l, 2);
}

// A name that can be opened as a regular file for reading. Directories, devices and files we
// may not read get the same treatment as a name that does not exist.
bool readable_file(const std::string& name) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec) || ec) return false;
    std::ifstream probe(name, std::ios::binary);
    return static_cast<bool>(probe);
}

// A file that opens but whose reading fails (a link to a system file such as
// /proc/self/pagemap, a damaged disk): the stream library reports it by throwing.
bool read_fails(const std::string& name) {
    std::ifstream probe(name, std::ios::binary);
    try {
        probe.rdbuf()->sgetc();
        return false;
    } catch (const std::ios_base::failure&) {
        return true;
    }
}

// An answer that names something on disk (a file, or anything else that is there): an absolute
// path, not the "/" that stops the program.
bool names_a_file(const std::string& answer) {
    std::error_code ec;
    return answer.size() > 1 && std::filesystem::exists(answer, ec) &&
           !std::filesystem::is_directory(answer, ec);
}

void cannot_be_read_message(Console& console, const std::string& padded_name) {
    console.blank_line();
    console.line("File > " + padded_name.substr(0, 25) + " < cannot be read", 2);
    console.blank_line();
}

// The wait after the message: RETURN names a file again, "/" stops.
void cannot_be_read_wait(Console& console) {
    console.line(at_column(2, "Hit return to enter a new file name or / exit program."));
    const auto reply = console.try_ask();  // the pause offers "/": honoured
    if (reply && is_stop_answer(*reply)) throw ProgramStop(StopKind::Normal);
}

// Asks until an existing data file is named; returns the name as typed (cut to 50 characters,
// trailing blanks removed).
std::string ask_data_file(Console& console) {
    for (;;) {
        console.blank_line();
        console.prompt("Enter data file name to process (/ to exit)");
        const std::string answer = console.ask();
        std::string name = answer.substr(0, kNameWidth);
        // "/" stops, unless the answer is an absolute path that names an existing file. One that
        // names a file only beyond the 50 characters a name keeps is said to be not found.
        if (is_stop_answer(name) && !names_a_file(rtrim(name)) && !names_a_file(rtrim(answer)))
            throw ProgramStop(StopKind::Normal);
        const std::string padded = fixed_width(name, kNameWidth);
        if (padded[0] == ' ' && padded[1] == ' ') {
            console.blank_line();
            console.line("There was an error reading your entry.", 2);
            pause_or_stop(console, at_column(2, "Hit return to enter a new file name or / to exit program."));
            continue;
        }
        if (!readable_file(rtrim(name))) {
            console.blank_line();
            console.line("File > " + padded.substr(0, 25) + " < not found", 2);
            console.blank_line();
            pause_or_stop(console, at_column(2, "Hit return to enter a new file name or / exit program."));
            continue;
        }
        if (read_fails(rtrim(name))) {
            cannot_be_read_message(console, padded);
            cannot_be_read_wait(console);
            continue;
        }
        return rtrim(name);
    }
}

// After a failed load: true to try again, false to quit. There is no default: a bare RETURN, or
// any other answer, asks again ("/" stops like Q).
bool ask_try_again(Console& console) {
    while (true) {
        console.blank_line();
        console.prompt("[T]ry again or [Q]uit the program now?");
        const auto c = menu_choice(ask_or_stop(console));
        if (c == 'T' || c == 't') return true;
        if (c == 'Q' || c == 'q') return false;
        if (c != ' ') refuse(console, "Enter T to try again or Q to quit.");
    }
}

void print_totals(RunStart& run) {
    const SeriesTable& t = run.table;
    const std::string numbers = fmt_i(t.count(), 6) + fmt_i(t.summary.first, 6) + fmt_i(t.summary.last, 6) +
                                fmt_i(t.summary.last - t.summary.first + 1, 6);
    const char* header = "    NS   IFY   ILY   NYR";
    run.console.blank_line();
    run.console.line(header, 30);
    run.console.line(Columns().at(2, "Total series read in:").at(30, numbers).str());
    run.files.report.blank_line();
    run.files.report.line(header, 30);
    run.files.report.line(Columns()
                              .at(2, "TOTAL SERIES READ IN:")
                              .at(30, numbers)
                              .add("  SERIES, FIRST YEAR, LAST YEAR, TOTAL YEARS")
                              .str());
}

// What the load found besides the series: the kind recognised and the names given to series.
void report_load(RunStart& run) {
    Report& r = run.files.report;
    if (!run.notes.recognised.empty()) {
        r.blank_line();
        r.line(upper_case("Format recognised: " + run.notes.recognised), 2);
    }
    const std::vector<std::string> renamed = renamed_lines(run.notes);
    if (!renamed.empty()) r.blank_line();
    for (const std::string& l : renamed) r.line(l, 2);
}

// One report line per filled ring and per end cut off.
void report_gaps(RunStart& run) {
    Report& r = run.files.report;
    const GapFilling& g = run.gaps;
    if (g.filled.empty() && g.trimmed.empty()) return;
    r.blank_line();
    for (const TrimmedEnd& t : g.trimmed)
        r.line("SERIES " + fixed_width(t.id, 8) + " YEARS " + fmt_i(t.first, 6) + " TO " + fmt_i(t.last, 6) +
                   (t.at_start ? " AT ITS START" : " AT ITS END") + " HAVE NO VALUE: CUT OFF",
               2);
    for (const FilledRing& f : g.filled)
        r.line("FILLED RING (LINEAR INTERPOLATION): SERIES " + fixed_width(f.id, 8) + " YEAR " +
                   fmt_i(f.year, 6) + " VALUE " + fmt_f(f.value, 8, 3),
               2);
}

}  // namespace

void print_banner(Console& console) {
    console.blank_line();
    for (std::string l : {
             std::string("**********************************"),
             std::string("**********************************"),
             std::string("***                            ***"),
             std::string("***     Program  Kestrovan     ***"),
             std::string("***                            ***"),
             std::string("***       Creation Date:       ***"),
             std::string("***         03/16/2014         ***"),
             std::string("***                            ***"),
             "***     Max Series:  " + fmt_i(kMaxSeries, 4) + "      ***",
             "***     Max Years :  " + fmt_i(kMaxYears, 4) + "      ***",
             std::string("***                            ***"),
             std::string("********* Version ") + kVersionField + "*********",
             std::string("**********************************"),
         })
        console.line(l, 17);
}

void abnormal_termination(Console& console) {
    const std::string why = console.last_line();
    console.blank_line();
    console.line(std::string("Abnormal termination of program Kestrovan_Version ") + kVersionField, 2);
    console.blank_line();
    console.pause_inline(at_column(2, "Hit RETURN to Quit"));
    throw ProgramStop(StopKind::Abnormal, {}, why);
}

namespace {

// The per-series lines of the screen; returns the total of negative values.
long long count_missing(Console& console, const SeriesTable& table) {
    console.blank_line();
    console.line("Regardless of the warning, test for missing data flags:", 2);
    long long total = 0;
    for (int i = 0; i < table.count(); ++i) {
        const YearSpan& span = table.years[static_cast<std::size_t>(i)];
        const int n = std::min(span.last - span.first + 1, table.data.rows());
        int missing = 0;
        for (int k = 0; k < n; ++k)
            if (table.data(k, i) < 0.0f) ++missing;
        if (missing > 0)
            console.line("Series " + fixed_width(table.ids[static_cast<std::size_t>(i)], 8) + " has" +
                             fmt_i(missing, 4) + " missing (negative) values",
                         2);
        total += missing;
    }
    console.blank_line();
    if (total == 0) console.line("No missing data flags (negative numbers) encountered. Proceed!", 2);
    return total;
}

}  // namespace

namespace {

// The first missing (negative) value of the table, in series order: the series and its year.
std::pair<std::string, int> first_missing(const SeriesTable& table) {
    for (int i = 0; i < table.count(); ++i) {
        const YearSpan& span = table.years[static_cast<std::size_t>(i)];
        const int n = std::min(span.last - span.first + 1, table.data.rows());
        for (int k = 0; k < n; ++k)
            if (table.data(k, i) < 0.0f)
                return {rtrim(table.ids[static_cast<std::size_t>(i)]), span.first + k};
    }
    return {};
}

}  // namespace

bool missing_value_screen(Console& console, const SeriesTable& table) {
    const long long total = count_missing(console, table);
    if (total == 0) return true;
    console.line("Missing (negative) values encountered: " + fmt_i(total, 9), 2);
    // One line, the reason of the stop (the batch records it): where the first missing ring is,
    // how many there are and what reads them.
    const auto [series, year] = first_missing(table);
    console.line("Series " + series + " has a missing ring in " + std::to_string(year) + ", the first of " +
                     std::to_string(total) +
                     ": fill the gaps inside the series by linear interpolation with --fill-gaps (run file: "
                     "fill_gaps = true); missing rings at the ends are then cut off.",
                 2);
    return false;
}

bool missing_value_screen(Console& console, SeriesTable& table, bool fill, GapFilling& done) {
    done = {};
    if (!fill) return missing_value_screen(console, table);
    const long long total = count_missing(console, table);
    if (total == 0) return true;
    console.line("Missing (negative) values encountered: " + fmt_i(total, 9), 2);
    done = fill_gaps(table);
    for (const std::string& id : done.empty)
        console.line("Series " + rtrim(id) + " holds no value at all: there is nothing to fill from.", 2);
    if (!done.empty.empty()) return false;
    for (const TrimmedEnd& t : done.trimmed)
        console.line("Series " + rtrim(t.id) + ": " + std::to_string(t.first) + " to " +
                         std::to_string(t.last) + (t.at_start ? " at its start" : " at its end") +
                         " have no value and are cut off.",
                     2);
    console.line(std::to_string(done.filled.size()) +
                     " missing rings inside series filled by linear interpolation (listed in the report).",
                 2);
    return true;
}

std::optional<std::string> data_file_problem(const std::string& name) {
    if (!readable_file(name)) return "the data file " + name + " does not exist or is not a readable file";
    if (read_fails(name)) return "the data file " + name + " cannot be read";
    return std::nullopt;
}

std::string stream_sha256(std::istream& in) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return "";
    std::vector<char> buf(1 << 16);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        if (in.gcount() > 0 &&
            EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(in.gcount())) != 1)
            return "";
    }
    if (in.bad()) return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &n) != 1) return "";
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < n; ++i) out += {hex[digest[i] >> 4], hex[digest[i] & 15]};
    return out;
}

std::string ConsoleDialogue::data_file() { return ask_data_file(console_); }

LoadSettings ConsoleDialogue::load_settings(std::istream& file) { return ask_load_settings(console_, file); }

bool ConsoleDialogue::try_loading_again(const std::string&) { return ask_try_again(console_); }

void ConsoleDialogue::data_file_unreadable(const std::string&) { cannot_be_read_wait(console_); }

void run_start(RunStart& run, DialogueAnswers& answers, bool greet) {
    Console& console = run.console;
    if (greet) {
        print_banner(console);
        print_gap_warning(console);
    }
    for (;;) {
        run.files.data_name = answers.data_file();

        // Held in memory until the data are read: a run that stops at the loading questions
        // leaves the files of an earlier run, its report included, as they were.
        run.files.report.hold(run.files.report_name());
        run.files.report.blank_line();
        run.files.report.line("THE OFFICIAL SIGNAL FREE PROGRAM OUTPUT FILE", 2);
        run.files.report.blank_line();
        run.files.report.line("DATA FILE TO PROCESS: " + run.files.data_name, 2);

        bool loaded = false;
        std::string why;
        {
            // Binary mode: the readers treat LF, CRLF and CR line ends themselves.
            std::ifstream data(run.files.data_name, std::ios::binary);
            if (!data)
                throw ProgramStop(StopKind::Abnormal, "Cannot open the data file " + run.files.data_name);
            try {
                const LoadSettings settings = answers.load_settings(data);
                console.keep_lines();
                loaded = read_data(console, data, settings, run.table, run.files.header, &run.notes);
                // Taken before the header is completed: made-up lines name no site.
                run.site = data_bank_site(run.files.header);
                run.files.complete_header();
                for (const std::string& l : console.kept_lines()) why += (why.empty() ? "" : " ") + l;
            } catch (const std::ios_base::failure&) {
                // Reading failed part way (the start of the file was read when it was named).
                (void)console.kept_lines();
                cannot_be_read_message(console, fixed_width(run.files.data_name, 50));
                answers.data_file_unreadable(run.files.data_name);
                continue;
            }
            // The checksum of the summary is taken from the file the readers read, through the
            // same open file: a data file replaced or rewritten later in the run does not change it.
            if (loaded) {
                data.clear();
                data.seekg(0);
                try {
                    run.files.data_sha256 = stream_sha256(data);
                } catch (const std::ios_base::failure&) {
                    run.files.data_sha256.clear();
                }
            }
            // A failed read leaves no series to screen; the question below decides what follows.
            if (loaded) report_load(run);
            if (loaded && !missing_value_screen(console, run.table, run.fill_gaps, run.gaps))
                abnormal_termination(console);
            if (loaded) report_gaps(run);
        }
        if (loaded) {
            run.files.begin_writing(console);
            break;
        }

        if (!answers.try_loading_again(why)) {
            console.blank_line();
            console.line("Program Terminating", 2);
            throw ProgramStop(StopKind::Normal);
        }
    }
    print_totals(run);
}

void run_start(RunStart& run) {
    ConsoleDialogue answers(run.console);
    run_start(run, answers, true);
}

}  // namespace kestrovan
