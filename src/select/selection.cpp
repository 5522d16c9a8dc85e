#include "select/selection.hpp"

#include "console/ask.hpp"
#include "model/format.hpp"
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

std::string warn_none_found(Console& console, std::string_view text, int year) {
    const std::string first =
        "*** Warning: No series were found that start " + std::string(text) + fmt_i(year, 5);
    console.blank_line();
    console.line(first, 2);
    console.line("    Try again or quit the program.", 2);
    console.blank_line();
    return first;
}

std::string warn_nothing_left(Console& console) {
    const std::string first = "*** Warning: No series left after this choice: no series passes it.";
    console.blank_line();
    console.line(first, 2);
    console.line("    The data are unchanged. Try again or quit the program.", 2);
    console.blank_line();
    return first;
}

// Carries out one choice other than 1 on the table: the report line, or the warning (returned)
// when the choice finds no series or leaves none.
std::optional<std::string> apply_choice(const SelectionChoice& c, SeriesTable& table, Console& console,
                                        Report& report) {
    switch (c.choice) {
        case 2:
            if (cenbyseg(table, c.value1, console) == 0) return warn_nothing_left(console);
            report.blank_line();
            report.line("DATA ARE CENSORED BY MINIMUM SEGMENT LENGTH: " + fmt_i(c.value1, 5));
            return std::nullopt;
        case 3:
        case 4: {
            const bool before = c.choice == 3;
            int year = c.value1;
            const int k = before ? cenbyify(table, year, console) : cenayify(table, year, console);
            if (k == 0) return warn_none_found(console, before ? "ON or BEFORE " : "ON or AFTER ", c.value1);
            report.blank_line();
            report.line((before ? "DATA ARE CENSORED BY MAXIMUM START YEAR: "
                                : "DATA ARE CENSORED BY MINIMUM START YEAR: ") +
                        fmt_i(year, 5));
            return std::nullopt;
        }
        case 5: truncate_before(table, c.value1, console, report); return std::nullopt;
        case 6: truncate_after(table, c.value1, console, report); return std::nullopt;
        default:
            if (cenbycom(table, c.value1, c.value2, console) == 0) return warn_nothing_left(console);
            report.blank_line();
            report.line("DATA ARE CENSORED BY COMMON START AND END YEARS: " + fmt_i(c.value1, 5) +
                        fmt_i(c.value2, 6));
            return std::nullopt;
    }
}

class ConsoleSelection : public SelectionAnswers {
public:
    explicit ConsoleSelection(Console& console) : console_(console) {}
    SelectionChoice selection_choice() override { return ask_selection_choice(console_); }
    void selection_refused(const std::string&) override { selection_refused_pause(console_); }

private:
    Console& console_;
};

}  // namespace

SelectionChoice ask_selection_choice(Console& console) {
    while (true) {
        show_menu(console);
        // A stray leading blank does not turn a choice into "keep all"; "12" is not "1".
        const auto one = menu_choice(ask_or_stop(console));
        if (!one || (*one != ' ' && (*one < '1' || *one > '7'))) {
            refuse(console, "Enter a number from 1 to 7, or / to exit.");
            continue;
        }
        SelectionChoice c;
        c.choice = *one == ' ' ? 1 : *one - '0';
        switch (c.choice) {
            case 2: c.value1 = ask_year(console, "Enter the MINIMUM segment length"); break;
            case 3: c.value1 = ask_year(console, "Enter the MAXIMUM starting year"); break;
            case 4: c.value1 = ask_year(console, "Enter the MINIMUM start year"); break;
            case 5: c.value1 = ask_year(console, "Truncate series BEFORE a MINIMUM start year"); break;
            case 6: c.value1 = ask_year(console, "Truncate series AFTER a MAXIMUM end year"); break;
            case 7:
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
                    c.value1 = *s;
                    c.value2 = *e;
                    break;
                }
                break;
            default: break;
        }
        return c;
    }
}

void selection_refused_pause(Console& console) { console.pause(at_column(2, "Hit Return to continue")); }

SelectionOutcome select_series(SelectionAnswers& answers, Console& console, OutputFiles& files,
                               SeriesTable& table, bool save) {
    SelectionOutcome out;
    out.latest = segment_length_stats(table);
    print_segment_stats(out.latest, false, console, files.report);

    while (true) {
        const SelectionChoice c = answers.selection_choice();
        if (c.choice == 1) {
            out.choice = 1;
            return out;
        }
        if (const auto warning = apply_choice(c, table, console, files.report)) {
            answers.selection_refused(*warning);
            continue;
        }
        out.choice = c.choice;
        out.value1 = c.value1;
        out.value2 = c.value2;
        if (save)
            out.saved_file = savcen(out.choice, out.value1, out.value2, table, files, console);
        else
            mark_header_lines(out.choice, files.header);
        out.latest = segment_length_stats(table);
        print_segment_stats(out.latest, true, console, files.report);
        return out;
    }
}

SelectionOutcome select_series(Console& console, OutputFiles& files, SeriesTable& table) {
    ConsoleSelection answers(console);
    return select_series(answers, console, files, table);
}

}  // namespace kestrovan
