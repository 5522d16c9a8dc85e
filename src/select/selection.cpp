#include "select/selection.hpp"

#include "console/format.hpp"
#include "console/ask.hpp"
#include "select/censor.hpp"
#include "select/savcen.hpp"
#include "select/truncate.hpp"

namespace kestrovan {

namespace {

void show_menu(Console& console) {
    console.blank_line();
    console.line("Series processing options (/ to exit):", 2);
    console.line(Columns().at(2, "All series processed as read in").at(45, "<1>").str());
    console.line(Columns().at(2, "Keep series with MINIMUM SEGMENT length").at(46, "2").str());
    console.line(Columns().at(2, "Keep series BEFORE a MAXIMUM start year").at(46, "3").str());
    console.line(Columns().at(2, "Keep series AFTER a MINIMUM start year").at(46, "4").str());
    console.line(Columns().at(2, "Truncate BEFORE a MINIMUM start year").at(46, "5").str());
    console.line(Columns().at(2, "Truncate AFTER a MAXIMUM end year").at(46, "6").str());
    console.prompt(Columns().at(1, "Keep series over a COMMON PERIOD only").at(45, "7").str());
}

// Asks once for one whole number; nullopt (after the reason, if any) when the answer is not one.
// "/" stops the program. `blank_before` puts the empty line of a prompt.
std::optional<int> ask_year_once(Console& console, std::string_view question, bool blank_before) {
    if (blank_before) console.blank_line();
    console.prompt(question);
    const NumberAnswer a = ask_integer_answer(console);
    if (a.kind != NumberAnswer::Kind::Value) return std::nullopt;
    return static_cast<int>(a.value);
}

// Asks until the answer is one whole number.
int ask_year(Console& console, std::string_view question, bool blank_before = true) {
    while (true)
        if (auto v = ask_year_once(console, question, blank_before)) return *v;
}

void warn_none_found(Console& console, std::string_view text, int year) {
    console.blank_line();
    console.line("*** Warning: No series were found that start " + std::string(text) + fmt_i(year, 5), 2);
    console.line("    Try again or quit the program.", 2);
    console.blank_line();
    console.pause(at_column(2, "Hit Return to continue"));
}

void warn_nothing_left(Console& console) {
    console.blank_line();
    console.line("*** Warning: No series left after this choice: no series passes it.", 2);
    console.line("    The data are unchanged. Try again or quit the program.", 2);
    console.blank_line();
    console.pause(at_column(2, "Hit Return to continue"));
}

}  // namespace

SelectionOutcome select_series(Console& console, RunFiles& files, SeriesTable& table) {
    SelectionOutcome out;
    out.latest = segment_length_stats(table);
    print_segment_stats(out.latest, false, console, files.report);
    Report& report = files.report;

    while (true) {
        show_menu(console);
        // A stray leading blank does not turn a choice into "keep all"; "12" is not "1".
        const auto one = menu_choice(ask_or_stop(console));
        if (!one || (*one != ' ' && (*one < '1' || *one > '7'))) {
            refuse(console, "Enter a number from 1 to 7, or / to exit.");
            continue;
        }
        const char choice = *one;

        if (choice == ' ' || choice == '1') {
            out.choice = 1;
            return out;
        }
        if (choice == '2') {
            const int length = ask_year(console, "Enter the MINIMUM segment length");
            if (cenbyseg(table, length, console) == 0) {
                warn_nothing_left(console);
                continue;
            }
            report.blank_line();
            report.line("DATA ARE CENSORED BY MINIMUM SEGMENT LENGTH: " + fmt_i(length, 5));
            out.value1 = length;
        } else if (choice == '3' || choice == '4') {
            const bool before = choice == '3';
            int year = ask_year(console, before ? "Enter the MAXIMUM starting year" : "Enter the MINIMUM start year");
            const int typed = year;
            const int k = before ? cenbyify(table, year, console) : cenayify(table, year, console);
            if (k == 0) {
                warn_none_found(console, before ? "ON or BEFORE " : "ON or AFTER ", typed);
                continue;
            }
            report.blank_line();
            report.line((before ? "DATA ARE CENSORED BY MAXIMUM START YEAR: " : "DATA ARE CENSORED BY MINIMUM START YEAR: ") +
                        fmt_i(year, 5));
            out.value1 = year;
        } else if (choice == '5') {
            const int year = ask_year(console, "Truncate series BEFORE a MINIMUM start year");
            truncate_before(table, year, console, report);
            out.value1 = year;
        } else if (choice == '6') {
            const int year = ask_year(console, "Truncate series AFTER a MAXIMUM end year");
            truncate_after(table, year, console, report);
            out.value1 = year;
        } else if (choice == '7') {
            int start = 0, end = 0;
            while (true) {
                auto s = ask_year_once(console, "Enter the common start year", true);
                if (!s) continue;
                auto e = ask_year_once(console, "Enter the common end year", false);
                if (!e) continue;
                if (*e < *s) {
                    console.blank_line();
                    console.line("The common end year must not be before the common start year.", 2);
                    continue;
                }
                start = *s;
                end = *e;
                break;
            }
            if (cenbycom(table, start, end, console) == 0) {
                warn_nothing_left(console);
                continue;
            }
            report.blank_line();
            report.line("DATA ARE CENSORED BY COMMON START AND END YEARS: " + fmt_i(start, 5) + fmt_i(end, 6));
            out.value1 = start;
            out.value2 = end;
        }

        out.choice = choice - '0';
        out.saved_file = savcen(out.choice, out.value1, out.value2, table, files, console);
        out.latest = segment_length_stats(table);
        print_segment_stats(out.latest, true, console, report);
        return out;
    }
}

}  // namespace kestrovan
