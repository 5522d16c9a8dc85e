#include "console/ask.hpp"

#include <cctype>

#include "console/freeform.hpp"
#include "console/stop.hpp"
#include "model/format.hpp"

namespace kestrovan {

void stop_by_user() { throw ProgramStop(StopKind::Normal); }

std::string ask_or_stop(Console& console) {
    std::string answer = console.ask();
    if (is_stop_answer(answer)) stop_by_user();
    return answer;
}

void pause_or_stop(Console& console, std::string_view message) {
    if (!message.empty()) console.line(message);
    const auto answer = console.try_ask();
    if (answer && is_stop_answer(*answer)) stop_by_user();
}

namespace {

NumberAnswer refused(std::string reason) {
    NumberAnswer a;
    a.kind = NumberAnswer::Kind::Refused;
    a.reason = std::move(reason);
    return a;
}

bool all_digits_with_sign(std::string_view s) {
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// The single item of an answer, or the reason it is not one.
std::optional<std::string> single_item(std::string_view answer, NumberAnswer& out) {
    const std::string text = trim(answer);
    if (text.empty()) return std::nullopt;
    const auto items = freeform_items(text);
    if (items.size() != 1) {
        out = refused("Enter one number only: \"" + text + "\" holds more than one.");
        return std::nullopt;
    }
    return items[0];
}

}  // namespace

NumberAnswer parse_integer_answer(std::string_view answer) {
    NumberAnswer out;
    const auto item = single_item(answer, out);
    if (!item) return out;
    if (auto v = parse_int(*item)) {
        out.kind = NumberAnswer::Kind::Value;
        out.value = *v;
        out.real = *v;
        return out;
    }
    if (all_digits_with_sign(*item)) return refused("The number " + *item + " is too large.");
    if (parse_real(*item)) return refused("Enter a whole number: " + *item + " is not one.");
    return refused("\"" + *item + "\" is not a number.");
}

NumberAnswer parse_real_answer(std::string_view answer) {
    NumberAnswer out;
    const auto item = single_item(answer, out);
    if (!item) return out;
    if (auto v = parse_real(*item)) {
        out.kind = NumberAnswer::Kind::Value;
        out.real = *v;
        return out;
    }
    return refused("\"" + *item + "\" is not a number.");
}

void refuse(Console& console, std::string_view reason) {
    console.blank_line();
    console.line(reason, 2);
}

NumberAnswer ask_integer_answer(Console& console) {
    NumberAnswer a = parse_integer_answer(ask_or_stop(console));
    if (a.kind == NumberAnswer::Kind::Refused) refuse(console, a.reason);
    return a;
}

int ask_field_value(Console& console, std::initializer_list<const char*> lines, int fallback, long long lo,
                    long long hi) {
    while (true) {
        console.blank_line();
        const auto last = lines.end() - 1;
        for (auto it = lines.begin(); it != last; ++it) console.line(*it, 2);
        console.prompt(*last);
        const NumberAnswer a = ask_integer_answer(console);
        if (a.kind == NumberAnswer::Kind::Empty) return fallback;
        if (a.kind == NumberAnswer::Kind::Value && check_range(console, a.value, lo, hi))
            return static_cast<int>(a.value);
    }
}

bool check_range(Console& console, long long v, long long lo, long long hi) {
    if (v >= lo && v <= hi) return true;
    refuse(console, "The value must be from " + std::to_string(lo) + " to " + std::to_string(hi) + ".");
    return false;
}

bool check_spline_code(Console& console, int code) {
    if (spline_code_in_limits(code) || (code > kFirstPercentCode && code < kFirstWavelengthCode)) return true;
    refuse(console, "Spline wavelengths go from 10 to " + std::to_string(kMaxWavelength) +
                        " years, percent codes from -10 to " + std::to_string(kMinPercentCode) + ".");
    return false;
}

std::optional<char> menu_choice(std::string_view answer) {
    const std::string text = trim(answer);
    if (text.empty()) return ' ';
    if (text.size() != 1) return std::nullopt;
    return text[0];
}

std::optional<bool> parse_logical(std::string_view answer) {
    std::string a = trim(answer);
    for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!a.empty() && a.front() == '.') a.erase(0, 1);
    if (!a.empty() && a.back() == '.') a.pop_back();
    if (a.empty()) return std::nullopt;
    const std::string_view word = a[0] == 't' ? "true" : a[0] == 'f' ? "false" : "";
    if (word.empty() || a.size() > word.size() || word.substr(0, a.size()) != a) return std::nullopt;
    return a[0] == 't';
}

bool starts_like_a_number(std::string_view answer) {
    const std::string text = trim(answer);
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() ? std::isdigit(static_cast<unsigned char>(text[i])) != 0 : i > 0;
}

bool ask_true_false(Console& console, std::string_view text, std::optional<bool> fallback) {
    while (true) {
        console.blank_line();
        console.prompt(text);
        const std::string answer = ask_or_stop(console);
        if (trim(answer).empty() && fallback) return *fallback;
        if (auto v = parse_logical(answer)) return *v;
        if (trim(answer).empty()) continue;  // no answer yet: the question again
        refuse(console, "Answer T for true or F for false.");
    }
}

}  // namespace kestrovan
