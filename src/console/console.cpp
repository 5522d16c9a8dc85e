#include "console/console.hpp"

#include "console/signals.hpp"

namespace kestrovan {

void Console::stop_if_signalled() {
    if (!stop_on_signal_) return;
    const int signal = stop_signal_received();
    if (signal == 0) return;
    stop_on_signal_ = false;  // the stop's own messages are printed through this console
    throw ProgramStop(StopKind::Abnormal, "Stopped by signal " + signal_name(signal) + ".");
}

void Console::line(std::string_view text, int column) {
    stop_if_signalled();
    if (!text.empty()) {
        out_ << at_column(column, text);
        std::string shown = trim(text);
        if (!shown.empty()) {
            if (keeping_) kept_.push_back(shown);
            last_line_ = std::move(shown);
        }
    }
    out_ << '\n';
    at_line_start_ = true;
}

void Console::text(std::string_view text) {
    out_ << text;
    if (!text.empty()) at_line_start_ = text.back() == '\n';
    out_.flush();
}

void Console::prompt(std::string_view text, int marker_column) {
    Columns c;
    c.at(2, text).at(marker_column, "==> ");
    this->text(c.str());
}

std::optional<std::string> Console::try_ask() {
    out_.flush();
    stop_if_signalled();
    std::string s;
    if (!std::getline(in_, s)) {
        if (!at_line_start_) {
            out_ << '\n';
            at_line_start_ = true;
        }
        stop_if_signalled();  // a read that the signal interrupted is no end of input
        return std::nullopt;
    }
    if (!s.empty() && s.back() == '\r') s.pop_back();
    // An answer file saved by an editor that marks UTF-8 may begin with a byte-order mark.
    if (first_answer_ && s.compare(0, 3, "\xEF\xBB\xBF") == 0) s.erase(0, 3);
    first_answer_ = false;
    if (echo_) out_ << s << '\n';
    at_line_start_ = true;
    return s;
}

std::string Console::ask() {
    auto answer = try_ask();
    if (!answer) {
        line("End of input: no answer to the question. Program stopped.", 2);
        throw ProgramStop(StopKind::EndOfInput);
    }
    return *answer;
}

void Console::pause(std::string_view message) {
    if (unattended_) return;
    if (!message.empty()) line(message);
    (void)try_ask();
}

void Console::pause_inline(std::string_view message) {
    if (unattended_) return;
    text(message);
    (void)try_ask();
}

bool is_stop_answer(std::string_view answer) { return !answer.empty() && answer[0] == '/'; }

char first_char(std::string_view answer) { return answer.empty() ? ' ' : answer[0]; }

}  // namespace kestrovan
