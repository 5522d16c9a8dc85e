#pragma once
// The console: every line of dialogue goes through one Console built on an istream and an
// ostream, so that tests can drive the whole program on strings.
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "console/stop.hpp"
#include "model/format.hpp"

namespace kestrovan {

class Console {
public:
    Console(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    // A whole line: text starting at `column` (1 = no indent), then a line end.
    void line(std::string_view text = {}, int column = 1);
    // An empty line.
    void blank_line() { line(); }
    // Text without a line end (the cursor stays on the line).
    void text(std::string_view text);

    // The last line of a prompt: text from column 2, then "==> " at marker_column, no line end.
    void prompt(std::string_view text, int marker_column = 50);

    // Reads one answer line (line end removed, a trailing CR dropped). End of input at a
    // question stops the program cleanly (exit status 2): a question never loops on it.
    std::string ask();
    // Reads one answer line; std::nullopt at end of input. For callers that treat the end of
    // input themselves (a pause, a menu that takes it as a default).
    std::optional<std::string> try_ask();

    // A pause: prints message (if any) as a line, waits for one line of input and ignores it.
    // End of input counts as RETURN.
    void pause(std::string_view message = {});
    // A pause whose message stays on the line (no line end before the wait).
    void pause_inline(std::string_view message);

    // With echo on, every answer read is written back followed by a line end, as a terminal
    // shows what the user types; the program turns it on when its input is an answer file, so
    // that the transcript keeps its line structure.
    void set_echo(bool echo) { echo_ = echo; }

    // Unattended (a run from a run file): pauses print nothing and wait for nothing. Questions
    // are never asked then; one that is asked meets the end of input.
    void set_unattended(bool unattended) { unattended_ = unattended; }

    // With stop_on_signal on (the program's own console, never a worker's), a stop signal
    // received (see console/signals.hpp) stops the run at the next line printed or answer read:
    // ProgramStop (abnormal) saying which signal. It is thrown once.
    void set_stop_on_signal(bool on) { stop_on_signal_ = on; }

    // From keep_lines() on, the text of every non-empty line printed is kept (without its
    // indent) until kept_lines() hands it over: what a stage said, for a stop message.
    void keep_lines() { keeping_ = true, kept_.clear(); }
    std::vector<std::string> kept_lines() {
        keeping_ = false;
        return std::move(kept_);
    }
    // The text of the last non-empty line printed (without its indent).
    const std::string& last_line() const { return last_line_; }

    void flush() { out_.flush(); }
    std::ostream& out() { return out_; }

private:
    std::istream& in_;
    std::ostream& out_;
    bool at_line_start_ = true;
    bool echo_ = false;
    bool first_answer_ = true;  // no line read yet (a byte-order mark may start the input)
    bool unattended_ = false;
    bool stop_on_signal_ = false;
    bool keeping_ = false;
    std::vector<std::string> kept_;
    std::string last_line_;

    void stop_if_signalled();
};

// Answer helpers shared by the dialogues.
bool is_stop_answer(std::string_view answer);  // "/" as the first character
char first_char(std::string_view answer);      // first character, or ' ' for an empty answer

}  // namespace kestrovan
