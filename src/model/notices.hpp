#pragma once
// What a numerical routine has to tell the person running the program without stopping: lines
// for the console and waits for RETURN, recorded in the order they arise. The numerics print
// nothing themselves; the code that called them prints the notices on its console
// (console/numeric_stop.hpp), so a fit on a worker thread says what it has to say in the same
// place and order as a fit on the main thread.
#include <string>
#include <utility>
#include <vector>

namespace kestrovan {

struct Notice {
    enum class Kind {
        Line,   // a line of text (empty: a blank line)
        Pause,  // the text, then a wait for RETURN
    };
    Kind kind = Kind::Line;
    std::string text;
    int column = 1;  // a line's text starts in this column (1 = no indent)
};

class Notices {
public:
    void line(std::string text = {}, int column = 1) {
        items_.push_back({Notice::Kind::Line, std::move(text), column});
    }
    void blank_line() { line(); }
    void pause(std::string text) { items_.push_back({Notice::Kind::Pause, std::move(text)}); }

    const std::vector<Notice>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    // The notices recorded so far, leaving none.
    std::vector<Notice> take() { return std::exchange(items_, {}); }

private:
    std::vector<Notice> items_;
};

}  // namespace kestrovan
