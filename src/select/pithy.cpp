#include "select/pithy.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <vector>

#include "console/ask.hpp"
#include "console/freeform.hpp"
#include "io/edit_list.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

// The widest record a record format may reach into: a field beyond it is refused.
constexpr long long kWidestRecord = 100000;

// ---- Dialogue helpers ------------------------------------------------------------------------

bool ask_has_file(Console& console) {
    return ask_true_false(console, "Is there a pith offset file? [T]rue or [F]alse");
}

// The NOTE says which offset files are taken: one offset per series of the data file (matched
// by the series' places there), or, after censoring, one per series now selected, in order.
void print_order_note(Console& console, const OutputFiles& files, const SeriesTable& table) {
    console.blank_line();
    console.line("NOTE: the order of pith offsets must follow the order", 2);
    console.line("of the file raw ring width records: " + files.data_name, 2);
    const int in_file = table.file_series_count(), kept = table.count();
    if (kept == in_file) {
        console.line("(" + std::to_string(in_file) + " offsets, one per series, in the order of the file)",
                     2);
        return;
    }
    console.line("Either " + std::to_string(in_file) + " offsets, one per series of that file (each selected",
                 2);
    console.line("series takes the offset of its place there), or " + std::to_string(kept) +
                     ", one per series now selected, in their order.",
                 2);
}

std::string ask_offset_file(Console& console, const OutputFiles& files, const SeriesTable& table) {
    while (true) {
        print_order_note(console, files, table);
        console.blank_line();
        console.prompt("Okay? So enter pith offset file name here");
        const std::string answer = ask_or_stop(console);
        const std::string name = trim(answer.substr(0, std::min<std::size_t>(answer.size(), 50)));
        std::error_code ec;
        if (!name.empty() && std::filesystem::is_regular_file(name, ec)) return name;
        console.blank_line();
        console.blank_line();
        console.line("File > " + name.substr(0, std::min<std::size_t>(name.size(), 25)) + " < not found", 11);
        console.line("          Hit return to enter a new file name or / to quit program.");
        // The message offers "/" as a way out, so a "/" here is honoured.
        auto reply = console.try_ask();
        if (reply && is_stop_answer(*reply)) stop_by_user();
    }
}

// One whole number at a question; "/" stops, a bare RETURN asks again, other answers get their
// reason and the question again.
int ask_whole_number(Console& console, std::string_view question) {
    while (true) {
        console.blank_line();
        console.prompt(question);
        const NumberAnswer n = parse_integer_answer(ask_or_stop(console));
        if (n.kind == NumberAnswer::Kind::Value) return n.value;
        if (n.kind == NumberAnswer::Kind::Refused) refuse(console, n.reason);
    }
}

int ask_header_lines(Console& console) {
    while (true) {
        const int n = ask_whole_number(console, "Enter number of header lines to skip [none=0]");
        if (n >= 0) return n;
        refuse(console, "The number of header lines cannot be negative.");
    }
}

// Method 2's record format, or nullopt (reason printed) when it cannot be used.
std::optional<IntegerField> ask_record_format(Console& console, std::string& text) {
    console.blank_line();
    console.line("Enter format to read just the ", 2);
    console.line("offset values (within parentheses)", 2);
    console.prompt("[e.g.,(2x,i3)]");
    std::string format = ask_or_stop(console);
    text = trim(format.substr(0, std::min<std::size_t>(format.size(), 40)));
    if (auto field = parse_record_format(text)) return field;
    console.blank_line();
    console.line("The format " + text + " cannot be used to read the offsets.", 2);
    console.line("Give an integer field (iN) with optional skips (nX), repeat counts and", 2);
    console.line("parentheses, for example (2x,i3).", 2);
    return std::nullopt;
}

PithReading ask_reading_method(Console& console) {
    while (true) {
        console.blank_line();
        console.blank_line();
        console.line("Select method to read the offset information:", 2);
        console.line("Single column offset i.e. <i4> [1]", 2);
        console.line("User defined fortran format [2]", 2);
        console.prompt("Enter option number");
        const NumberAnswer method = parse_integer_answer(ask_or_stop(console));
        if (method.kind == NumberAnswer::Kind::Empty) continue;
        if (method.kind == NumberAnswer::Kind::Refused) {
            refuse(console, method.reason);
            continue;
        }
        if (method.value != 1 && method.value != 2) {
            console.blank_line();
            console.line("Please enter 1 or 2 ", 11);
            console.pause("          Hit RETURN and try again.");
            continue;
        }
        PithReading m;
        m.header_lines = ask_header_lines(console);
        if (method.value == 1) return m;
        m.one_per_line = false;
        if (auto field = ask_record_format(console, m.format)) {
            m.field = *field;
            return m;
        }
    }
}

// One record of the offset file as the method reads it; nullopt with the reason when it cannot be.
std::optional<int> read_record(const std::string& line, const PithReading& method, std::string& reason) {
    if (method.one_per_line) {
        const auto items = freeform_items(line);
        const bool whole =
            items.size() == 1 && items[0].find_first_not_of("+-0123456789") == std::string::npos;
        if (auto v = whole ? parse_int(items[0]) : std::nullopt) return v;
        reason = "\"" + trim(line.substr(0, std::min<std::size_t>(line.size(), 60))) +
                 "\" is not one whole number.";
        return std::nullopt;
    }
    const auto v = read_integer_field(line, method.field);
    if (!v) {
        reason = "columns " + std::to_string(method.field.column + 1) + "-" +
                 std::to_string(method.field.column + method.field.width) + " do not hold a whole number.";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < line.size(); ++i) {
        const bool inside = i >= static_cast<std::size_t>(method.field.column) &&
                            i < static_cast<std::size_t>(method.field.column + method.field.width);
        if (!inside && std::isdigit(static_cast<unsigned char>(line[i]))) {
            reason = "digits stand outside columns " + std::to_string(method.field.column + 1) + "-" +
                     std::to_string(method.field.column + method.field.width) + ", where the format " +
                     method.format + " reads the offset.";
            return std::nullopt;
        }
    }
    return v;
}

// Reads the offsets; false with the reason (naming the line) when the file cannot be read.
bool read_offsets(Console& console, const std::string& name, const PithReading& method,
                  std::vector<int>& offsets, std::string& reason) {
    offsets.clear();
    std::ifstream file(name, std::ios::binary);
    console.blank_line();
    console.line("Reading offset file: " + name, 2);
    if (!file) {
        reason = "The file " + name + " cannot be opened.";
        return false;
    }
    skip_byte_order_mark(file);
    std::string line;
    int number = 0;
    for (int h = 1; h <= method.header_lines; ++h) {
        if (!read_text_line(file, line)) {
            reason = "The file " + name + " has only " + std::to_string(number) + " lines, fewer than its " +
                     std::to_string(method.header_lines) + " header lines.";
            return false;
        }
        ++number;
        const std::string shown = printable(line.substr(0, std::min<std::size_t>(line.size(), 80)));
        console.line(fmt_i(h, 2) + "Title Line: " + rtrim(shown));
    }
    // Blank lines at the very end of the file are not records; blank lines between values are
    // (an all-blank record reads as 0), so they are held back until a value follows them.
    int pending_blank = 0;
    while (read_text_line(file, line)) {
        ++number;
        if (trim(line).empty()) {
            ++pending_blank;
            continue;
        }
        for (; pending_blank > 0; --pending_blank) offsets.push_back(0);
        std::string why;
        const auto v = read_record(line, method, why);
        if (!v) {
            reason = "Line " + std::to_string(number) + " of " + name + ": " + why;
            return false;
        }
        offsets.push_back(*v);
        if (static_cast<int>(offsets.size()) > kMaxPithOffsets) break;
    }
    if (line_too_long(file)) {
        reason = "Line " + std::to_string(number + 1) + " of " + name + " is longer than a mebibyte.";
        return false;
    }
    return true;
}

PithAfterError ask_after_read_error(Console& console, const std::string& name, const std::string& reason) {
    console.blank_line();
    console.line(reason, 11);
    console.blank_line();
    console.line("There was an error reading the pith offset ", 11);
    console.line("values in file : " + name, 11);
    console.line("Do you want to try again? or quit?", 11);
    console.line("[N] names another file, RETURN reads this one again", 11);
    console.text(at_column(11, "enter [\\] to quit : "));
    const std::string reply = ask_or_stop(console);
    const char c = first_char(trim(reply));
    if (c == '\\') {
        console.line("Program Terminating ", 11);
        stop_by_user();
    }
    return c == 'n' || c == 'N' ? PithAfterError::AnotherFile : PithAfterError::Again;
}

// The offsets read, one per series of the file as read or one per series now selected; nullopt
// (message printed) for any other count.
std::optional<std::vector<int>> match_offsets(Console& console, const OutputFiles& files,
                                              const SeriesTable& table, const std::vector<int>& read,
                                              std::string& reason) {
    const std::size_t kept = static_cast<std::size_t>(table.count());
    const std::size_t in_file = static_cast<std::size_t>(table.file_series_count());
    std::vector<int> offsets(kept, 0);
    if (read.size() == in_file) {
        for (std::size_t i = 0; i < kept; ++i) {
            const auto at = static_cast<std::size_t>(table.file_position(static_cast<int>(i)));
            if (at < read.size()) offsets[i] = read[at];
        }
        if (kept != in_file) {
            console.blank_line();
            console.line("The " + std::to_string(kept) +
                             " selected series take the offsets of their places in " + files.data_name + ".",
                         2);
        }
        return offsets;
    }
    if (read.size() == kept) {
        std::copy(read.begin(), read.end(), offsets.begin());
        console.blank_line();
        console.line("The " + std::to_string(kept) + " offsets go to the " + std::to_string(kept) +
                         " selected series in their order.",
                     2);
        return offsets;
    }
    if (kept == in_file)
        reason = "*** The offset file holds " + std::to_string(read.size()) + " pith offsets, but " +
                 files.data_name + " holds " + std::to_string(in_file) + " series: one offset per series.";
    else
        reason = "*** The offset file holds " + std::to_string(read.size()) + " pith offsets: it must hold " +
                 std::to_string(in_file) + " (one per series of " + files.data_name + ") or " +
                 std::to_string(kept) + " (one per series now selected).";
    console.blank_line();
    console.line(reason, 2);
    console.line("These pith offsets cannot be used: give another file, or none.", 2);
    return std::nullopt;
}

[[noreturn]] void too_many_offsets(Console& console) {
    console.blank_line();
    console.line("The number of pith offset values read exceeds the", 2);
    console.line("the dimensions of the array in which they are stored", 2);
    console.blank_line();
    console.line("This is a fatal error, there is no recovery ", 2);
    console.line("Program Terminating ", 2);
    throw ProgramStop(StopKind::Abnormal);
}

}  // namespace

std::optional<IntegerField> parse_record_format(std::string_view format) {
    const auto list = parse_edit_list(format);
    // One offset per record, read as an integer: a format that reads reals or moves on to
    // another record does not describe such a record.
    if (!list || holds(*list, EditItem::Kind::Real) || holds(*list, EditItem::Kind::NewRecord))
        return std::nullopt;
    long long pos = 0;
    std::optional<IntegerField> field;
    EditWalk walk;
    walk.walk(*list, 0, [&](const EditItem& item) {
        switch (item.kind) {
            case EditItem::Kind::Integer:
                field = IntegerField{static_cast<int>(pos), item.width};
                return true;
            case EditItem::Kind::Skip:
            case EditItem::Kind::TabRight: pos += item.width; break;
            case EditItem::Kind::Tab: pos = item.width - 1; break;
            case EditItem::Kind::TabLeft: pos = pos > item.width ? pos - item.width : 0; break;
            default: return true;
        }
        return pos > kWidestRecord;
    });
    return field;
}

std::optional<int> read_integer_field(std::string_view record, IntegerField field) {
    return int_at(record, static_cast<std::size_t>(field.column), static_cast<std::size_t>(field.width));
}

void pithy(PithAnswers& answers, Console& console, const OutputFiles& files, const SeriesTable& table,
           RunOptions& params) {
    const std::size_t ns = static_cast<std::size_t>(table.count());
    while (true) {
        auto file = answers.pith_file(files, table);
        if (!file) {
            params.pith_present = 0;
            params.pith_offsets.assign(ns, 0);
            return;
        }
        std::string name = *file;
        std::vector<int> read;
        std::string reason;
        while (true) {
            const PithReading method = answers.pith_reading();
            if (read_offsets(console, name, method, read, reason)) break;
            if (answers.after_pith_read_error(name, reason) == PithAfterError::AnotherFile)
                name = answers.another_pith_file(files, table);
        }
        if (static_cast<int>(read.size()) > kMaxPithOffsets) too_many_offsets(console);

        auto offsets = match_offsets(console, files, table, read, reason);
        if (!offsets) {
            answers.pith_refused(reason);
            continue;  // the question again: another file, or none
        }
        if (!read.empty() && std::all_of(read.begin(), read.end(), [](int v) { return v == 0; })) {
            console.blank_line();
            console.line("*** Warning: every pith offset in the file reads as 0: check the reading", 2);
            console.line("    method and the format if the file holds other numbers.", 2);
        }
        params.pith_present = 1;
        params.pith_offsets = std::move(*offsets);
        return;
    }
}

void pithy(Console& console, const OutputFiles& files, const SeriesTable& table, RunOptions& params) {
    ConsolePith answers(console);
    pithy(answers, console, files, table, params);
}

std::optional<std::string> ConsolePith::pith_file(const OutputFiles& files, const SeriesTable& table) {
    if (!ask_has_file(console_)) return std::nullopt;
    return ask_offset_file(console_, files, table);
}

std::string ConsolePith::another_pith_file(const OutputFiles& files, const SeriesTable& table) {
    return ask_offset_file(console_, files, table);
}

PithReading ConsolePith::pith_reading() { return ask_reading_method(console_); }

PithAfterError ConsolePith::after_pith_read_error(const std::string& name, const std::string& reason) {
    return ask_after_read_error(console_, name, reason);
}

bool check_pith_offsets(Console& console, const SeriesTable& table, const RunOptions& params,
                        std::string* reason) {
    bool fits = true;
    const std::size_t n = std::min(params.pith_offsets.size(), static_cast<std::size_t>(table.count()));
    for (std::size_t i = 0; i < n; ++i) {
        const long long offset = params.pith_offsets[i];
        const long long last_age = offset + table.years[i].length;
        if (offset >= 0 && last_age <= kMaxYears) continue;
        const std::string message =
            offset < 0
                ? "Series " + table.ids[i] + " has a negative pith offset (" + std::to_string(offset) +
                      "): an offset counts the rings missing to the pith."
                : "Series " + table.ids[i] + ": pith offset " + std::to_string(offset) + " and " +
                      std::to_string(table.years[i].length) + " rings reach age " + std::to_string(last_age) +
                      ", beyond the " + std::to_string(kMaxYears) + " ages of a Regional curve.";
        if (fits) console.blank_line();
        if (fits && reason) *reason = message;
        fits = false;
        console.line(message, 2);
    }
    if (!fits) console.line("These pith offsets cannot be used: give another file, or none.", 2);
    return fits;
}

}  // namespace kestrovan
