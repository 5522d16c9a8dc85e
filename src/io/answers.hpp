#pragma once
// Typed answers of the loading questions (file kind, header lines, columns) and of the pith-offset
// questions: a question that wants one whole number takes exactly one, so that "1 0" or "3x" is
// refused with a reason instead of being read as 1 or 3.
#include <string>
#include <string_view>

#include "console/console.hpp"

namespace kestrovan {

struct WholeNumberAnswer {
    enum class Kind { Empty, Value, Refused } kind = Kind::Empty;
    int value = 0;
    std::string reason;   // Refused: why, as one line for the user
};

// The whole answer (blanks around it allowed) as one whole number of 32 bits; Empty for a blank
// answer.
WholeNumberAnswer whole_number_answer(std::string_view answer);

// True when the answer looks like a number, or like the start of one ("3x", "1 0", "-", "2.5"):
// such an answer gets the number's reason, any other text is answered as a wrong choice.
bool starts_like_a_number(std::string_view answer);

// Prints a refusal: an empty line, then the reason at column 2.
void refuse_answer(Console& console, std::string_view reason);

// Stops the program as the user chose with "/" (exit status 0, no message).
[[noreturn]] void stop_at_user_request();

}  // namespace kestrovan
