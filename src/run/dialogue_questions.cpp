#include "run/dialogue_questions.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "console/ask.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The letter or digit of a one-character answer (' ' when empty); nullopt for an answer of more
// than one character, which gets `reason` printed.
std::optional<char> one_char_answer(Console& console, std::string_view reason) {
    auto c = menu_choice(ask_or_stop(console));
    if (!c) refuse(console, reason);
    return c;
}

// ---- How the console asks them ----------------------------------------------------------------

IndexMethod ask_index_method(Console& console) {
    while (true) {
        console.blank_line();
        console.prompt("Compute Indices by [R]atios or residual[S]");
        const std::string answer = console.ask();
        if (is_stop_answer(answer)) {
            console.blank_line();
            console.line("Program Terminating", 2);
            stop_by_user();
        }
        const std::string a = lower(trim(answer));
        if (a == "r" || a == "ratios") return IndexMethod::Ratios;
        if (a == "s" || a == "residuals") return IndexMethod::Residuals;
        console.blank_line();
        console.line("Error reading input [R] or [S]. Try again or enter / to exit", 2);
    }
}

bool ask_power_transform(Console& console) {
    return ask_true_false(console, "Power transform data? [T]rue or [F]alse", false);
}

int ask_mean_method(Console& console) {
    while (true) {
        console.blank_line();
        console.line("How to calculate the mean chronology (/ to stop):", 2);
        console.line(Columns().at(2, "Non-robust arithmetic mean").at(39, " 1 ").str());
        console.line(Columns().at(2, "Robust Tukey biweight mean").at(39, "<2>").str());
        console.prompt("Robust is default, hit <RET> if you want it");
        const auto answer = one_char_answer(console, "Enter 1 or 2.");
        if (!answer) continue;
        const char c = *answer == ' ' ? '2' : *answer;
        if (c == '1' || c == '2') return c - '0';
        console.blank_line();
        console.line("Mean index choice not admissible", 2);
    }
}

// Any whole number: the dialogue's stage checks the window against the data.
int ask_rbar_window(Console& console) {
    return ask_field_value(
        console,
        {"Enter running RBAR window width for variance", "stabilization. Must be .ge. 25 years and odd.",
         "Default window width is 51 years, 0 to skip"},
        51);
}

float ask_convergence(Console& console) {
    while (true) {
        console.blank_line();
        console.line("Enter the signal free convergence test", 2);
        console.line("based on minimizing the mean absolute", 2);
        console.line("differences between the current and", 2);
        console.line("preceeding chronologies:   ", 2);
        console.line("  Original Vessik setting   1  0.0005", 2);
        console.line("  Current default setting  <2> 0.0001", 2);
        console.prompt("  **** Roll Your Own ****   3  X.XXXX");
        const auto answer = one_char_answer(console, "Enter 1, 2 or 3.");
        if (!answer) continue;
        const char c = *answer;
        if (c == '1') return 0.0005f;
        if (c == '2' || c == ' ') return 0.0001f;
        if (c == '3') {
            console.blank_line();
            console.prompt("Okay, enter YOUR convergence test");
            const NumberAnswer v = parse_real_answer(ask_or_stop(console));
            if (v.kind == NumberAnswer::Kind::Value) {
                if (v.real >= kMinConvergence && std::isfinite(v.real)) return static_cast<float>(v.real);
                refuse(console, "The convergence test must be 0 or more.");
            } else {
                refuse(console, v.kind == NumberAnswer::Kind::Empty ? "No convergence test entered." : v.reason);
            }
            continue;
        }
        refuse(console, "Enter 1, 2 or 3.");
    }
}

bool ask_tweaks(Console& console) {
    while (true) {
        console.blank_line();
        console.line("Use ZELK signal free convergence tweaks?", 2);
        console.line("Set each chronology mean to exactly 1.0", 2);
        console.line("and use the more robust median absolute", 2);
        console.line("differences instead of mean absolute", 2);
        console.line("differences for signal free convergence.", 2);
        console.prompt("Enter <y>/n (default is y for YES, / to exit)");
        const std::string a = lower(trim(ask_or_stop(console)));
        if (a.empty() || a == "y" || a == "yes") return true;
        if (a == "n" || a == "no") return false;
        console.blank_line();
        console.line("Answer not entered as y or n", 2);
    }
}

// ---- The table ---------------------------------------------------------------------------------

constexpr std::array<NamedValue, 2> kIndexNames{{{"ratios", static_cast<int>(IndexMethod::Ratios)},
                                                 {"residuals", static_cast<int>(IndexMethod::Residuals)}}};
constexpr std::array<NamedValue, 2> kMeanNames{
    {{"arithmetic", kMeanArithmetic}, {"biweight", kMeanBiweight}}};

constexpr bool with_residuals(const RunOptions& o) { return o.index_method == IndexMethod::Residuals; }

constexpr Question kQuestions[] = {
    {"indices", "index_method", QuestionPlace::BeforeSelection,
     Fills<IndexMethod>{&RunOptions::index_method, ask_index_method}, kIndexNames},
    {"power_transform",
     "power_transform",
     QuestionPlace::BeforeSelection,
     Fills<bool>{&RunOptions::power_transform, ask_power_transform},
     {},
     with_residuals},
    {"mean", "mean_method", QuestionPlace::AfterCurve, Fills<int>{&RunOptions::mean_method, ask_mean_method},
     kMeanNames},
    {"rbar_window", "rbar_window", QuestionPlace::AfterCurve,
     Fills<int>{&RunOptions::rbar_window, ask_rbar_window}},
    {"convergence", "convergence", QuestionPlace::AfterStabilization,
     Fills<float>{&RunOptions::convergence, ask_convergence}},
    {"tweaks", "tweaks", QuestionPlace::AfterStabilization, Fills<bool>{&RunOptions::tweaks, ask_tweaks}},
};

}  // namespace

std::span<const Question> questions() { return kQuestions; }

const Question& question(std::string_view key) {
    for (const Question& q : kQuestions)
        if (key == q.key) return q;
    throw std::logic_error("no question has the run-file key " + std::string(key));
}

const Question* question_of_option(std::string_view option) {
    for (const Question& q : kQuestions)
        if (option == q.option) return &q;
    return nullptr;
}

QuestionAnswer ask_at_console(const Question& q, Console& console) {
    return std::visit([&](const auto& f) { return QuestionAnswer(f.ask(console)); }, q.fills);
}

QuestionAnswer answer_in(const Question& q, const RunOptions& options) {
    return std::visit([&](const auto& f) { return QuestionAnswer(options.*f.field); }, q.fills);
}

void store(const Question& q, const QuestionAnswer& answer, RunOptions& options) {
    std::visit(
        [&]<class T>(const Fills<T>& f) {
            // The answer comes from the row's own field or asking function, so it has its type.
            options.*f.field = std::get<T>(answer);
        },
        q.fills);
}

const char* name_of(const Question& q, int value) {
    for (const NamedValue& n : q.names)
        if (n.value == value) return n.name;
    return nullptr;
}

std::optional<int> value_named(const Question& q, std::string_view name) {
    for (const NamedValue& n : q.names)
        if (name == n.name) return n.value;
    return std::nullopt;
}

std::string names_text(const Question& q) {
    std::string text;
    for (std::size_t i = 0; i < q.names.size(); ++i)
        text += std::string(i == 0                    ? ""
                            : i + 1 == q.names.size() ? " or "
                                                      : ", ") +
                "\"" + q.names[i].name + "\"";
    return text;
}

}  // namespace kestrovan
