#include <algorithm>
#include <deque>
#include <string>
#include <string_view>
#include <utility>

#include "console/ask.hpp"
#include "console/console.hpp"
#include "io/loaders.hpp"
#include "io/table_builder.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "model/format.hpp"

namespace kestrovan {

using detail::rewind;

namespace {

// The viewer numbers lines in columns 2-8, enough for every file the readers can take (the
// largest, single columns at the limits, has some 22.5 million lines); the text follows from
// column 10, under the ruler.
constexpr int kViewerNumberWidth = 7;
constexpr int kViewerTextColumn = kViewerNumberWidth + 3;

std::string ruler() {
    return at_column(kViewerTextColumn, std::string(".........1.........2.........3.........4.....") +
                                            "....5.........6.........7.........8.........9.........10");
}

// A file line as the viewer shows it: its number right-aligned in columns 2-8 (a longer number
// widens the field rather than turning into asterisks), the text from column 10.
std::string shown_line(int number, std::string_view text) {
    const std::string t = printable(text.substr(0, std::min<std::size_t>(text.size(), 100)));
    std::string n = std::to_string(number);
    if (n.size() < static_cast<std::size_t>(kViewerNumberWidth))
        n.insert(0, static_cast<std::size_t>(kViewerNumberWidth) - n.size(), ' ');
    return " " + n + " " + rtrim(t);
}

// The count in five columns, widened rather than turned into asterisks for 100,000 lines or more.
void end_of_snoop(Console& console, int lines) {
    std::string count = std::to_string(lines);
    if (count.size() < 5) count.insert(0, 5 - count.size(), ' ');
    console.blank_line();
    console.line("end-of-snoop: " + count + " lines read", 2);
}

// The viewer's answers: the first character counts; "/" stops the program.
char viewer_answer(Console& console) { return first_char(ask_or_stop(console)); }

}  // namespace

void snoop(Console& console, std::istream& file) {
    console.blank_line();
    console.line(std::string("snooping in the data file ") + "(first 100 characters/line):", 2);
    console.line(ruler());
    for (;;) {
        rewind(file);
        skip_byte_order_mark(file);
        int count = 0;
        char answer = ' ';
        std::deque<std::pair<int, std::string>> last;
        std::string line;
        while (read_text_line(file, line, 100)) {
            ++count;
            last.emplace_back(count, line);
            if (last.size() > 5) last.pop_front();
            if (answer == 'e' || answer == 'E') continue;
            console.line(shown_line(count, line));
            if (count % 5 == 0) {
                console.blank_line();
                console.text(at_column(
                    2, std::string("more <ret>, read to end <e>, ") + "return to main program <m> "));
                answer = viewer_answer(console);
                if (answer == 'm' || answer == 'M') {
                    rewind(file);
                    end_of_snoop(console, count);
                    return;
                }
                if (answer != 'e' && answer != 'E') console.line(ruler());
            }
        }
        if (answer == 'e' || answer == 'E') {
            console.blank_line();
            console.line("last 5 lines in file (first 80 characters):", 2);
            console.line(ruler());
            for (const auto& [n, text] : last) console.line(shown_line(n, text));
        }
        rewind(file);
        end_of_snoop(console, count);
        console.blank_line();
        console.text(at_column(2, "more <ret> or return to main program <m> "));
        const char again = viewer_answer(console);
        if (again == 'm' || again == 'M') return;
    }
}

}  // namespace kestrovan
