#include "io/edit_list.hpp"

#include <cctype>
#include <string>

namespace kestrovan {

namespace {

// Largest number a format may carry (repeat count, width, column): no record is that wide.
constexpr long long kLargestNumber = 100000;
// Deepest nesting of parentheses, the outer pair included.
constexpr int kDeepestNesting = 8;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Recursive descent over a format text. Blanks are passed over before every item, letter and
// number; a number ends at the first character that is not a digit.
class EditListParser {
public:
    explicit EditListParser(std::string_view text) : text_(text) {}

    std::optional<EditList> parse() {
        if (!eat('(')) return std::nullopt;
        auto list = parse_list();
        if (!list || !eat(')')) return std::nullopt;
        skip_blanks();
        if (pos_ != text_.size()) return std::nullopt;
        return list;
    }

private:
    void skip_blanks() {
        while (pos_ < text_.size() && is_blank(text_[pos_])) ++pos_;
    }
    char peek() {
        skip_blanks();
        return pos_ < text_.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_])))
                                   : '\0';
    }
    bool eat(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    std::optional<int> number() {
        skip_blanks();
        const std::size_t start = pos_;
        long long v = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
            v = v * 10 + (text_[pos_] - '0');
            if (v > kLargestNumber) return std::nullopt;
            ++pos_;
        }
        if (pos_ == start) return std::nullopt;
        return static_cast<int>(v);
    }

    // Items up to the closing parenthesis (not taken).
    std::optional<EditList> parse_list() {
        if (++depth_ > kDeepestNesting) return std::nullopt;
        EditList list;
        for (;;) {
            while (eat(',')) {
            }
            const char c = peek();
            if (c == ')' || c == '\0') break;
            if (eat('/')) {
                EditItem next;
                next.kind = EditItem::Kind::NewRecord;
                list.push_back(next);
                continue;
            }
            auto item = parse_item();
            if (!item) return std::nullopt;
            list.push_back(std::move(*item));
        }
        --depth_;
        return list;
    }

    std::optional<EditItem> parse_item() {
        std::optional<int> count;
        if (std::isdigit(static_cast<unsigned char>(peek()))) {
            count = number();
            if (!count || *count < 1) return std::nullopt;
        }
        const char c = peek();
        if (c == '\0') return std::nullopt;
        ++pos_;
        if (c == '(') return group(count.value_or(1));
        if (c == 'x') {
            EditItem skip;
            skip.kind = EditItem::Kind::Skip;
            skip.width = count.value_or(1);
            return skip;
        }
        if (c == 'i' || c == 'f' || c == 'e' || c == 'd' || c == 'g') return data_field(c, count.value_or(1));
        if (c == 't' && !count) return tab();
        return std::nullopt;
    }

    std::optional<EditItem> group(int repeat) {
        auto inner = parse_list();
        if (!inner || !eat(')')) return std::nullopt;
        EditItem g;
        g.kind = EditItem::Kind::Group;
        g.repeat = repeat;
        g.group = std::move(*inner);
        return g;
    }

    // iw[.m] or fw.d[Ee] (likewise e, d, g), the letter already taken.
    std::optional<EditItem> data_field(char letter, int repeat) {
        EditItem field;
        field.kind = letter == 'i' ? EditItem::Kind::Integer : EditItem::Kind::Real;
        field.repeat = repeat;
        auto w = number();
        if (!w || *w < 1) return std::nullopt;
        field.width = *w;
        if (eat('.')) {
            auto d = number();
            if (!d) return std::nullopt;
            if (letter != 'i') field.decimals = *d;  // iw.m: the minimum digits mean nothing on input
        } else if (letter != 'i') {
            return std::nullopt;
        }
        if (letter != 'i' && eat('e') && !number()) return std::nullopt;
        return field;
    }

    // Tn, TRn or TLn, the T already taken.
    std::optional<EditItem> tab() {
        EditItem t;
        t.kind = EditItem::Kind::Tab;
        if (eat('r'))
            t.kind = EditItem::Kind::TabRight;
        else if (eat('l'))
            t.kind = EditItem::Kind::TabLeft;
        auto n = number();
        if (!n || (t.kind == EditItem::Kind::Tab && *n < 1)) return std::nullopt;
        t.width = *n;
        return t;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

std::optional<EditList> parse_edit_list(std::string_view format) {
    if (auto list = EditListParser(format).parse()) return list;
    std::string closed_up;
    for (char c : format)
        if (!is_blank(c)) closed_up += c;
    if (closed_up.size() == format.size()) return std::nullopt;
    return EditListParser(closed_up).parse();
}

bool holds(const EditList& list, EditItem::Kind kind) {
    for (const EditItem& item : list)
        if (item.kind == kind || (item.kind == EditItem::Kind::Group && holds(item.group, kind))) return true;
    return false;
}

}  // namespace kestrovan
