#include <cctype>
#include <string>

#include "console/ask.hpp"
#include "console/console.hpp"
#include "io/column_readers.hpp"
#include "io/loaders.hpp"
#include "io/table_builder.hpp"
#include "model/format.hpp"

namespace kestrovan {

using detail::ask_column_count;
using detail::ask_sentinel;
using detail::kContinue;
using detail::rewind;

namespace {

void show_format_menu(Console& console) {
    console.blank_line();
    console.line("__ Input Data Format Menu __", 19);
    console.line("_____________________________", 19);
    console.blank_line();
    console.line("Raw ring-widths (Decade)  [1]", 19);
    console.line("Chronologies (Index)      [2]", 19);
    console.line("Single Column             [3]", 19);
    console.line("Multiple Columns          [4]", 19);
    console.line("CSV or TSV table          [5]", 19);
    console.line("Heidelberg (.fh)          [6]", 19);
    console.line("Compact format            [7]", 19);
    console.line("TRiDaS XML                [8]", 19);
    console.line("Recognise the format      [9]", 19);
    console.line("Enter zer0 for HELP       [0]", 19);
    console.line("_____________________________", 19);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The format menu until it has a file kind 1-9, or 0 for help (also H, h and ?). Q or "/" quit.
// A bare RETURN shows the prompt again; any other answer is refused with its reason and the menu
// comes again. A number outside 0-9 is refused at once, before anything else is asked.
int ask_file_kind(Console& console) {
    show_format_menu(console);
    for (;;) {
        console.blank_line();
        console.prompt("Enter a value between [0-" + std::to_string(kLastFileKind) + "] or [Q]uit");
        const std::string answer = ask_or_stop(console);
        const std::string text = lower(trim(answer));
        if (text.empty()) continue;
        if (text == "q" || text == "quit") stop_by_user();
        if (text == "h" || text == "?" || text == "help") return 0;
        const NumberAnswer n = parse_integer_answer(text);
        const std::string range = "0 and " + std::to_string(kLastFileKind);
        if (n.kind == NumberAnswer::Kind::Value && n.value >= 0 && n.value <= kLastFileKind) return n.value;
        if (n.kind == NumberAnswer::Kind::Value) {
            console.blank_line();
            console.line(
                "There is no file kind " + std::to_string(n.value) + ": enter a value between " + range + ".",
                2);
            console.pause(kContinue);
        } else if (starts_like_a_number(text)) {
            refuse(console, n.reason);
        } else {
            refuse(console, "\"" + trim(answer) + "\" is not one of the options: enter a value between " +
                                range + ", H for help or Q to quit.");
        }
        show_format_menu(console);
    }
}

// The number of header lines to pass over before a column file's data.
int ask_header_lines(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter number of file header lines to skip", 2);
        console.line("before reading data or columns. If none then", 2);
        console.prompt("enter a zer[0] for none");
        const std::string answer = ask_or_stop(console);
        const NumberAnswer n = parse_integer_answer(answer);
        if (n.kind == NumberAnswer::Kind::Empty) continue;
        if (n.kind == NumberAnswer::Kind::Refused)
            refuse(console, n.reason);
        else if (n.value < 0)
            refuse(console, "The number of header lines cannot be negative.");
        else
            return n.value;
    }
}

}  // namespace

LoadSettings ask_load_settings(Console& console, std::istream& file) {
    for (;;) {
        LoadSettings s;
        const int kind = ask_file_kind(console);
        if (kind == 0) {
            // The help pages through the file and leaves it at its start.
            rewind(file);
            dathlp(console, file);
            continue;
        }
        s.kind = static_cast<FileKind>(kind);
        if (takes_header_lines(s.kind)) s.header_lines = ask_header_lines(console);
        if (s.kind == FileKind::MultipleColumns) {
            s.columns = ask_column_count(console);
            // Too many columns: the read refuses them (with its message) before the sentinel.
            if (s.columns - 1 <= kMaxSeries) s.sentinel = ask_sentinel(console);
        }
        return s;
    }
}

}  // namespace kestrovan
