#include "io/answers.hpp"

#include <cctype>

#include "console/format.hpp"
#include "console/freeform.hpp"
#include "console/stop.hpp"

namespace kestrovan {

WholeNumberAnswer whole_number_answer(std::string_view answer) {
    WholeNumberAnswer out;
    const std::string text = trim(answer);
    if (text.empty()) return out;
    out.kind = WholeNumberAnswer::Kind::Refused;
    const auto items = freeform_items(text);
    if (items.size() != 1) {
        out.reason = "Enter one number only: \"" + text + "\" holds more than one.";
        return out;
    }
    const std::string& item = items[0];
    if (auto v = parse_int(item)) {
        out.kind = WholeNumberAnswer::Kind::Value;
        out.value = *v;
        return out;
    }
    const std::size_t sign = (item[0] == '+' || item[0] == '-') ? 1 : 0;
    const bool digits = item.size() > sign && item.find_first_not_of("0123456789", sign) == std::string::npos;
    if (digits) out.reason = "The number " + item + " is too large.";
    else if (parse_real(item)) out.reason = "Enter a whole number: " + item + " is not one.";
    else out.reason = "\"" + item + "\" is not a number.";
    return out;
}

bool starts_like_a_number(std::string_view answer) {
    const std::string text = trim(answer);
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : i > 0;
}

void refuse_answer(Console& console, std::string_view reason) {
    console.blank_line();
    console.line(reason, 2);
}

void stop_at_user_request() { throw ProgramStop(StopKind::Normal); }

}  // namespace kestrovan
