#pragma once
// The questions of the option dialogue that fill one field of the run options each, one row per
// question: its run-file key, where the dialogue asks it and the run file holds its key, the
// field it fills (whose default is the run file's), how the console asks it, and how the run
// file spells its values. The console, the run file's answers, reader and writer and the session
// recorder serve every row alike; the dialogue's stages ask each row at its place and do what
// follows from the answer there (report lines, checks against the data). The bounds of a whole
// number lie beside its field (kOptionRanges in model/run_options.hpp).
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "console/console.hpp"
#include "model/methods.hpp"
#include "model/run_options.hpp"

namespace kestrovan {

// Where a question is asked, and where its key lies among the run file's keys.
enum class QuestionPlace {
    BeforeSelection,     // after the data and the index method, before the series selection
    AfterCurve,          // after the curve fit and its Regional curve, before the stabilization
    AfterStabilization,  // after the stabilization, before the plots
};

// A value of a choice and its name in the run file.
struct NamedValue {
    const char* name;
    int value;
};

// The field a question fills and how the console asks for it, of one type.
template <class T>
struct Fills {
    T RunOptions::*field;
    T (*ask)(Console&);
};

// An answer: a value for one of the field types.
using QuestionAnswer = std::variant<bool, int, float, IndexMethod>;

struct Question {
    const char* key;     // the run file's key (and the summary's)
    const char* option;  // the field's name, as RunOptions::check names it
    QuestionPlace place;
    // A logical (true, false), a whole number, a number, or a choice (names below).
    std::variant<Fills<bool>, Fills<int>, Fills<float>, Fills<IndexMethod>> fills;
    std::span<const NamedValue> names = {};  // a choice: the run file's names of its values
    // When a run file names the key (nullptr: always); the summary names it always.
    bool (*written)(const RunOptions&) = nullptr;
};

// Every row, in the order of the dialogue.
std::span<const Question> questions();
// The row of a run-file key; a key that no row has is a fault of the program (std::logic_error).
const Question& question(std::string_view key);
// The row whose field check() names `option`, if any.
const Question* question_of_option(std::string_view option);

// The console's answer, the options' value, and the answer stored in its field.
QuestionAnswer ask_at_console(const Question& q, Console& console);
QuestionAnswer answer_in(const Question& q, const RunOptions& options);
void store(const Question& q, const QuestionAnswer& answer, RunOptions& options);

// A choice's name of a value (nullptr for a value without one), its value of a name, and its
// names for messages ("\"a\", \"b\" or \"c\"").
const char* name_of(const Question& q, int value);
std::optional<int> value_named(const Question& q, std::string_view name);
std::string names_text(const Question& q);

}  // namespace kestrovan
