#pragma once
// What a read of a data file has to say besides the series it read: the lines the loading
// dialogue prints (what the file holds, warnings, the refusal naming the line, the outcome and
// its waits for RETURN), the names given to series and the kind recognised. The readers fill it
// and never talk; the loading dialogue prints it (print_load_notes, io/loaders.hpp), and a
// silent probe of a file drops it.
#include <string>
#include <utility>
#include <vector>

namespace kestrovan {

enum class NoteKind {
    Message,  // a line of text (empty: a blank line): what the file holds, the outcome
    Warning,  // a line of a warning: the read goes on
    Refusal,  // a line of the message that ends the read (it names the place in the file)
    Pause,    // a wait for RETURN after its prompt
};

// One line as the console prints it: the text from `column` on (1 = no indent).
struct NoteLine {
    NoteKind kind = NoteKind::Message;
    std::string text;
    int column = 1;
};

struct LoadNotes {
    // Every line in the order it is to be printed.
    std::vector<NoteLine> lines;
    // The names given to series whose own names do not fit 8 characters or collide once cut to
    // 8 (full name, name used), and the kind the content showed when the kind was recognised
    // automatically ("" otherwise). Their lines are in `lines` too; these are for the report.
    std::vector<std::pair<std::string, std::string>> renamed;
    std::string recognised;

    void blank_line() { lines.push_back({NoteKind::Message, {}, 1}); }
    void message(std::string text, int column = 1) {
        lines.push_back({NoteKind::Message, std::move(text), column});
    }
    void warning(std::string text, int column = 1) {
        lines.push_back({NoteKind::Warning, std::move(text), column});
    }
    void refusal(std::string text, int column = 1) {
        lines.push_back({NoteKind::Refusal, std::move(text), column});
    }
    void pause(std::string prompt) { lines.push_back({NoteKind::Pause, std::move(prompt), 1}); }
};

}  // namespace kestrovan
