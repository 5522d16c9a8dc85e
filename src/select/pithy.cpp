#include "select/pithy.hpp"

#include <cctype>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "console/format.hpp"
#include "console/freeform.hpp"
#include "io/tucson.hpp"

namespace kestrovan {

namespace {

// ---- Record formats -------------------------------------------------------------------------

struct FormatItem {
    enum class Kind { Integer, Skip, Tab, TabRight, TabLeft, Group };
    Kind kind = Kind::Skip;
    int repeat = 1;
    int n = 0;                       // field width, skip count or tab column
    std::vector<FormatItem> items;   // a group's contents
};

class FormatParser {
public:
    explicit FormatParser(std::string_view text) : s_(text) {}

    std::optional<std::vector<FormatItem>> parse() {
        skip_blanks();
        if (!eat('(')) return std::nullopt;
        auto list = parse_list();
        if (!list || !eat(')')) return std::nullopt;
        skip_blanks();
        if (pos_ != s_.size()) return std::nullopt;
        return list;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
    int depth_ = 0;

    void skip_blanks() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    char peek() {
        skip_blanks();
        return pos_ < s_.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(s_[pos_]))) : '\0';
    }
    bool eat(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    std::optional<int> number() {
        skip_blanks();
        std::size_t start = pos_;
        long long v = 0;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
            v = v * 10 + (s_[pos_] - '0');
            if (v > 100000) return std::nullopt;  // no record is that wide
            ++pos_;
        }
        if (pos_ == start) return std::nullopt;
        return static_cast<int>(v);
    }

    std::optional<std::vector<FormatItem>> parse_list() {
        if (++depth_ > 8) return std::nullopt;
        std::vector<FormatItem> list;
        while (true) {
            while (eat(',')) {}
            const char c = peek();
            if (c == ')' || c == '\0') break;
            auto item = parse_item();
            if (!item) return std::nullopt;
            list.push_back(std::move(*item));
        }
        --depth_;
        if (list.empty()) return std::nullopt;
        return list;
    }

    std::optional<FormatItem> parse_item() {
        FormatItem item;
        std::optional<int> count;
        if (std::isdigit(static_cast<unsigned char>(peek()))) {
            count = number();
            if (!count || *count < 1) return std::nullopt;
        }
        const char c = peek();
        if (c == '(') {
            ++pos_;
            auto inner = parse_list();
            if (!inner || !eat(')')) return std::nullopt;
            item.kind = FormatItem::Kind::Group;
            item.repeat = count.value_or(1);
            item.items = std::move(*inner);
            return item;
        }
        if (c == 'x') {
            ++pos_;
            item.kind = FormatItem::Kind::Skip;
            item.n = count.value_or(1);
            return item;
        }
        if (c == 'i') {
            ++pos_;
            auto width = number();
            if (!width || *width < 1) return std::nullopt;
            if (eat('.')) {
                auto digits = number();
                if (!digits) return std::nullopt;
            }
            item.kind = FormatItem::Kind::Integer;
            item.repeat = count.value_or(1);
            item.n = *width;
            return item;
        }
        if (c == 't' && !count) {
            ++pos_;
            item.kind = FormatItem::Kind::Tab;
            if (eat('r')) item.kind = FormatItem::Kind::TabRight;
            else if (eat('l')) item.kind = FormatItem::Kind::TabLeft;
            auto n = number();
            if (!n) return std::nullopt;
            if (item.kind == FormatItem::Kind::Tab && *n < 1) return std::nullopt;
            item.n = *n;
            return item;
        }
        return std::nullopt;
    }
};

// Most items a walk may visit: a format whose repeated groups hold no integer field (such as
// "(99999(99999(99999(t1))))") would otherwise be walked for hours before it is refused.
constexpr long long kMaxFormatSteps = 1000000;

// Walks the items from column `pos` until the first integer field. Returns true when found;
// false when there is none, or the walk passes the widest record or its step budget.
bool first_integer(const std::vector<FormatItem>& items, long long& pos, IntegerField& field, long long& steps) {
    for (const auto& it : items) {
        if (++steps > kMaxFormatSteps) return false;
        switch (it.kind) {
        case FormatItem::Kind::Integer:
            field = {static_cast<int>(pos), it.n};
            return true;
        case FormatItem::Kind::Skip: pos += it.n; break;
        case FormatItem::Kind::Tab: pos = it.n - 1; break;
        case FormatItem::Kind::TabRight: pos += it.n; break;
        case FormatItem::Kind::TabLeft: pos = pos > it.n ? pos - it.n : 0; break;
        case FormatItem::Kind::Group:
            for (int r = 0; r < it.repeat; ++r) {
                if (first_integer(it.items, pos, field, steps)) return true;
                if (pos > 100000 || steps > kMaxFormatSteps) return false;
            }
            break;
        }
        if (pos > 100000) return false;
    }
    return false;
}

// ---- Dialogue helpers ------------------------------------------------------------------------

// A logical answer: T or F, optionally after a full stop, alone or as the start of the words
// true/false, optionally closed by a full stop (T, t, .t., true, .TRUE., F, false, ...).
std::optional<bool> parse_logical(std::string_view answer) {
    std::string a = trim(answer);
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!a.empty() && a.front() == '.') a.erase(0, 1);
    if (!a.empty() && a.back() == '.') a.pop_back();
    if (a.empty()) return std::nullopt;
    const std::string_view word = a[0] == 't' ? "true" : a[0] == 'f' ? "false" : "";
    if (word.empty() || a.size() > word.size() || word.substr(0, a.size()) != a) return std::nullopt;
    return a[0] == 't';
}

[[noreturn]] void stop_quietly() { throw ProgramStop(StopKind::Normal); }

std::string ask_offset_file(Console& console, const RunFiles& files) {
    while (true) {
        console.blank_line();
        console.line("NOTE: the order of pith offsets must follow the order", 2);
        console.line("of the file raw ring width records: " + files.data_name, 2);
        console.blank_line();
        console.prompt("Okay? So enter pith offset file name here");
        std::string answer = console.ask();
        if (is_stop_answer(answer)) stop_quietly();
        const std::string name = trim(answer.substr(0, std::min<std::size_t>(answer.size(), 50)));
        std::error_code ec;
        if (!name.empty() && std::filesystem::is_regular_file(name, ec)) return name;
        console.blank_line();
        console.blank_line();
        console.line("File > " + name.substr(0, std::min<std::size_t>(name.size(), 25)) + " < not found", 11);
        console.line("          Hit return to enter a new file name or / to quit program.");
        // The message offers "/" as a way out, so a "/" here is honoured.
        auto reply = console.try_ask();
        if (reply && is_stop_answer(*reply)) stop_quietly();
    }
}

int ask_integer(Console& console, std::string_view question) {
    while (true) {
        console.blank_line();
        console.prompt(question);
        if (auto v = read_int(console.ask())) return *v;
    }
}

struct ReadingMethod {
    IntegerField field;
    int header_lines = 0;
};

ReadingMethod ask_reading_method(Console& console) {
    while (true) {
        console.blank_line();
        console.blank_line();
        console.line("Select method to read the offset information:", 2);
        console.line("Single column offset i.e. <i4> [1]", 2);
        console.line("User defined fortran format [2]", 2);
        console.prompt("Enter option number");
        auto method = read_int(console.ask());
        if (!method) continue;
        ReadingMethod m;
        while (true) {
            m.header_lines = ask_integer(console, "Enter number of header lines to skip [none=0]");
            if (m.header_lines >= 0) break;
        }
        if (*method == 1) {
            m.field = {0, 4};
            return m;
        }
        if (*method == 2) {
            console.blank_line();
            console.line("Enter format to read just the ", 2);
            console.line("offset values (within parentheses)", 2);
            console.prompt("[e.g.,(2x,i3)]");
            std::string format = console.ask();
            format = rtrim(format.substr(0, std::min<std::size_t>(format.size(), 40)));
            if (auto field = parse_record_format(format)) {
                m.field = *field;
                return m;
            }
            console.blank_line();
            console.line("The format " + trim(format) + " cannot be used to read the offsets.", 2);
            console.line("Give an integer field (iN) with optional skips (nX), repeat counts and", 2);
            console.line("parentheses, for example (2x,i3).", 2);
            continue;
        }
        console.blank_line();
        console.line("Please enter 1 or 2 ", 11);
        console.pause("          Hit RETURN and try again.");
    }
}

enum class ReadResult { Ok, Unreadable };

ReadResult read_offsets(Console& console, const std::string& name, const ReadingMethod& method,
                        std::vector<int>& offsets) {
    offsets.clear();
    std::ifstream file(name, std::ios::binary);
    console.blank_line();
    console.line("Reading offset file: " + name, 2);
    if (!file) return ReadResult::Unreadable;
    std::string line;
    for (int h = 1; h <= method.header_lines; ++h) {
        if (!read_text_line(file, line)) return ReadResult::Unreadable;
        console.line(fmt_i(h, 2) + "Title Line: " + rtrim(line.substr(0, std::min<std::size_t>(line.size(), 80))));
    }
    // Blank lines at the very end of the file are not records; blank lines between values are
    // (an all-blank field reads as 0), so they are held back until a value follows them.
    int pending_blank = 0;
    while (read_text_line(file, line)) {
        if (trim(line).empty()) {
            ++pending_blank;
            continue;
        }
        for (; pending_blank > 0; --pending_blank) offsets.push_back(0);
        auto v = read_integer_field(line, method.field);
        if (!v) return ReadResult::Unreadable;
        offsets.push_back(*v);
        if (static_cast<int>(offsets.size()) > kMaxPithOffsets) break;
    }
    return ReadResult::Ok;
}

}  // namespace

std::optional<IntegerField> parse_record_format(std::string_view format) {
    auto items = FormatParser(format).parse();
    if (!items) return std::nullopt;
    long long pos = 0;
    IntegerField field;
    long long steps = 0;
    if (!first_integer(*items, pos, field, steps)) return std::nullopt;
    return field;
}

std::optional<int> read_integer_field(std::string_view record, IntegerField field) {
    std::string text;
    if (static_cast<std::size_t>(field.column) < record.size())
        text = std::string(record.substr(static_cast<std::size_t>(field.column), static_cast<std::size_t>(field.width)));
    auto v = int_field(text);
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(*v);
}

void pithy(Console& console, const RunFiles& files, int series_count, RunParameters& params) {
    const std::size_t ns = static_cast<std::size_t>(std::max(series_count, 0));
    bool has_file = false;
    while (true) {
        console.blank_line();
        console.prompt("Is there a pith offset file? [T]rue or [F]alse");
        if (auto answer = parse_logical(console.ask())) {
            has_file = *answer;
            break;
        }
    }
    if (!has_file) {
        params.pith_present = 0;
        params.pith_offsets.assign(ns, 0);
        return;
    }

    const std::string name = ask_offset_file(console, files);
    std::vector<int> read;
    while (true) {
        const ReadingMethod method = ask_reading_method(console);
        if (read_offsets(console, name, method, read) == ReadResult::Ok) break;
        console.blank_line();
        console.line("There was an error reading the pith offset ", 11);
        console.line("values in file : " + name, 11);
        console.line("Do you want to try again? or quit?", 11);
        console.text(at_column(11, "enter [\\] to quit : "));
        const std::string reply = console.ask();
        if (first_char(reply) == '\\') {
            console.line("Program Terminating ", 11);
            stop_quietly();
        }
    }

    if (static_cast<int>(read.size()) > kMaxPithOffsets) {
        console.blank_line();
        console.line("The number of pith offset values read exceeds the", 2);
        console.line("the dimensions of the array in which they are stored", 2);
        console.blank_line();
        console.line("This is a fatal error, there is no recovery ", 2);
        console.line("Program Terminating ", 2);
        throw ProgramStop(StopKind::Abnormal);
    }

    params.pith_present = 1;
    params.pith_offsets.assign(ns, 0);
    std::copy_n(read.begin(), std::min(read.size(), ns), params.pith_offsets.begin());
    if (read.size() != ns) {
        console.blank_line();
        console.line("*** Warning: the offset file holds " + std::to_string(read.size()) +
                         " pith offsets for " + std::to_string(ns) + " series.",
                     2);
        console.line("    Offsets are matched to the series by position: check that the file", 2);
        console.line("    follows the order of the series now selected.", 2);
    }
}

bool check_pith_offsets(Console& console, const SeriesTable& table, const RunParameters& params) {
    bool fits = true;
    const std::size_t n = std::min(params.pith_offsets.size(), static_cast<std::size_t>(table.count()));
    for (std::size_t i = 0; i < n; ++i) {
        const long long offset = params.pith_offsets[i];
        const long long last_age = offset + table.years[i].length;
        if (offset >= 0 && last_age <= kMaxYears) continue;
        if (fits) console.blank_line();
        fits = false;
        if (offset < 0)
            console.line("Series " + table.ids[i] + " has a negative pith offset (" + std::to_string(offset) +
                             "): an offset counts the rings missing to the pith.",
                         2);
        else
            console.line("Series " + table.ids[i] + ": pith offset " + std::to_string(offset) + " and " +
                             std::to_string(table.years[i].length) + " rings reach age " +
                             std::to_string(last_age) + ", beyond the " + std::to_string(kMaxYears) +
                             " ages of a Regional curve.",
                         2);
    }
    if (!fits) console.line("These pith offsets cannot be used: give another file, or none.", 2);
    return fits;
}

}  // namespace kestrovan
