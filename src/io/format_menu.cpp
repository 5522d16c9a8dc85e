// The format menu of the loading dialogue (its lines come from the table of formats) and the
// questions of the kind chosen, the multiple-column ones with rdmcol.
#include <cctype>
#include <string>
#include <string_view>

#include "console/ask.hpp"
#include "console/console.hpp"
#include "io/loaders.hpp"
#include "io/table_builder.hpp"
#include "model/format.hpp"

namespace kestrovan {

using detail::kContinue;
using detail::rewind;

namespace {

// A line of the format menu: its text, then its number in brackets from the 27th column.
std::string menu_line(std::string_view text, int number) {
    return fixed_width(text, 26) + "[" + std::to_string(number) + "]";
}

void show_format_menu(Console& console) {
    console.blank_line();
    console.line("__ Input Data Format Menu __", 19);
    console.line("_____________________________", 19);
    console.blank_line();
    for (const FileFormat& f : kFileFormats) console.line(menu_line(f.menu_text, f.menu), 19);
    console.line(menu_line("Enter zer0 for HELP", 0), 19);
    console.line("_____________________________", 19);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The format menu until it has a file kind (its menu number), or 0 for help (also H, h and ?). Q
// or "/" quit. A bare RETURN shows the prompt again; any other answer is refused with its reason
// and the menu comes again. A number that is no line of the menu is refused at once, before
// anything else is asked.
int ask_file_kind(Console& console) {
    show_format_menu(console);
    const int last = last_menu_number();
    for (;;) {
        console.blank_line();
        console.prompt("Enter a value between [0-" + std::to_string(last) + "] or [Q]uit");
        const std::string answer = ask_or_stop(console);
        const std::string text = lower(trim(answer));
        if (text.empty()) continue;
        if (text == "q" || text == "quit") stop_by_user();
        if (text == "h" || text == "?" || text == "help") return 0;
        const NumberAnswer n = parse_integer_answer(text);
        const std::string range = "0 and " + std::to_string(last);
        if (n.kind == NumberAnswer::Kind::Value && (n.value == 0 || file_format_at_menu(n.value)))
            return n.value;
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

// The number of columns of a multiple-column file (at least 2: years and one series); a number
// the table cannot hold is refused by the read (read_columns).
int ask_column_count(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter the total number of columns in your file", 2);
        console.text(at_column(2, "[Program assumes Col_1 contains the X values] : "));
        const std::string answer = ask_or_stop(console);
        const NumberAnswer n = parse_integer_answer(answer);
        if (n.kind == NumberAnswer::Kind::Value && n.value >= 2) return n.value;
        if (n.kind == NumberAnswer::Kind::Refused)
            refuse(console, n.reason);
        else
            refuse(console, "The number of columns is a whole number of at least 2 (years and one series).");
    }
}

// The sentinel as typed (trimmed): any text but blanks. "/" is taken as a sentinel here, not as a
// stop: it is a character a file may be padded with.
std::string ask_sentinel(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter the sentinal value or character used to ", 2);
        console.text(at_column(2, "pad the records [can not be spaces, if ******* enter *] : "));
        const std::string answer = trim(console.ask());
        if (!answer.empty()) return answer;
        console.blank_line();
        console.line("The sentinel can not be blank.", 2);
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
        s.kind = file_format_at_menu(kind)->kind;
        if (takes_header_lines(s.kind)) s.header_lines = ask_header_lines(console);
        if (s.kind == FileKind::MultipleColumns) {
            s.columns = ask_column_count(console);
            // Too many columns: the read refuses them (with its message) before the sentinel.
            if (s.columns - 1 <= kMaxSeries) s.sentinel = ask_sentinel(console);
        }
        return s;
    }
}

bool rdmcol(Console& console, std::istream& file, SeriesTable& table, int lines_before) {
    const int columns = ask_column_count(console);
    const std::string sentinel = columns - 1 <= kMaxSeries ? ask_sentinel(console) : std::string("*");
    LoadNotes notes;
    const bool ok =
        detail::read_columns(file, {columns, detail::sentinel_form(sentinel)}, table, notes, lines_before);
    print_load_notes(console, notes);
    return ok;
}

}  // namespace kestrovan
