#pragma once
// Reading answers: the rules every question of the dialogue follows.
//   - "/" as the first character of an answer stops the program (a stop the user chose).
//   - A question that wants one number takes exactly one number: "1,700", "9 9" or "10x" are
//     refused with a one-line reason and the question comes again, never read as 1, 9 or 10.
//   - A refused answer always gets a one-line reason before the question comes again.
#include <climits>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "model/curve_families.hpp"

namespace kestrovan {

// Stops the program as the user chose ("/" or Q): exit status 0, no message.
[[noreturn]] void stop_by_user();

// Reads one answer; "/" as its first character stops the program.
std::string ask_or_stop(Console& console);

// A pause that offers "/" in its message: RETURN (or the end of input) goes on, "/" stops.
void pause_or_stop(Console& console, std::string_view message);

// One answer that should hold a single number.
struct NumberAnswer {
    enum class Kind { Empty, Value, Refused } kind = Kind::Empty;
    int value = 0;       // Value of an integer answer
    double real = 0.0;   // Value of a real answer
    std::string reason;  // Refused: why, as one line for the user
};

// The whole answer (blanks around it allowed) as one whole number in the range of a 32-bit
// integer; Empty for a blank answer.
NumberAnswer parse_integer_answer(std::string_view answer);
// The whole answer as one finite real number (integer, decimal or exponent form).
NumberAnswer parse_real_answer(std::string_view answer);

// True when the answer looks like a number, or like the start of one ("3x", "1 0", "-", "2.5"):
// a menu that takes such an answer gives the number's reason, other text a wrong choice.
bool starts_like_a_number(std::string_view answer);

// Prints a refusal: an empty line, then the reason at column 2.
void refuse(Console& console, std::string_view reason);

// Reads an answer meant as one whole number: "/" stops; a refused answer has its reason printed
// and gives Refused; Empty for a blank answer.
NumberAnswer ask_integer_answer(Console& console);

// True when lo <= v <= hi; otherwise prints "The value must be from lo to hi." and gives false.
bool check_range(Console& console, long long v, long long lo, long long hi);

// Asks the lines (an empty line before them, the last one as the prompt) until the answer is
// empty (-> fallback) or one whole number from lo to hi. Refused answers get their reason.
int ask_field_value(Console& console, std::initializer_list<const char*> lines, int fallback,
                    long long lo = INT_MIN, long long hi = INT_MAX);

// True for a spline option code within the limits: a wavelength code (10 .. kMaxWavelength), a
// percent code (-10 .. kMinPercentCode) or any code between -10 and 10; otherwise prints the
// limits and gives false.
bool check_spline_code(Console& console, int code);

// The one-character choice of a menu: the answer's only non-blank character, or ' ' for a blank
// answer. An answer of more than one character (after blanks are trimmed) gives nullopt: a menu
// of single digits or letters never takes "12" as "1".
std::optional<char> menu_choice(std::string_view answer);

// A logical answer: T or F, optionally after a full stop, alone or as the start of the words
// true/false, optionally closed by a full stop (T, t, .t., true, .TRUE., F, false, ...), in any
// case. nullopt for anything else, the empty answer included.
std::optional<bool> parse_logical(std::string_view answer);

// Asks a true/false question (empty line, text with "==> " at column 50) until it has a logical
// answer; "/" stops. `fallback` is taken for an empty answer when given; otherwise an empty
// answer is asked again. Other answers get a one-line reason.
bool ask_true_false(Console& console, std::string_view text, std::optional<bool> fallback = std::nullopt);

}  // namespace kestrovan
