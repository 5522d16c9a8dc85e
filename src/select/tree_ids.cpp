#include "select/tree_ids.hpp"

#include <cctype>
#include <map>

namespace kestrovan {

namespace {
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool is_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The length of the run at the start of s whose characters satisfy `pred`.
template <class Pred>
std::size_t run_of(std::string_view s, Pred pred) {
    std::size_t n = 0;
    while (n < s.size() && pred(s[n])) ++n;
    return n;
}
}  // namespace

TreeIdParts split_tree_id(std::string_view id, const TreeIdLayout& layout) {
    const std::string_view s = trimmed(id);
    TreeIdParts p;
    if (!layout.automatic) {
        const std::size_t a = std::min<std::size_t>(static_cast<std::size_t>(std::max(layout.site, 0)), s.size());
        const std::size_t b = std::min<std::size_t>(a + static_cast<std::size_t>(std::max(layout.tree, 0)), s.size());
        p.site = std::string(s.substr(0, a));
        p.tree = std::string(s.substr(a, b - a));
        p.core = std::string(s.substr(b));
        return p;
    }
    const std::size_t letters = run_of(s, is_alpha);
    const std::size_t digits = run_of(s.substr(letters), is_digit);
    const std::string_view rest = s.substr(letters + digits);
    const bool rest_letters = !rest.empty() && run_of(rest, is_alpha) == rest.size();
    if (digits == 0 || (!rest.empty() && !rest_letters)) {
        p.tree = std::string(s);  // no layout recognised: a tree of its own
        return p;
    }
    const std::string_view d = s.substr(letters, digits);
    if (letters == 0 && rest.empty()) {  // digits only
        if (d.size() >= 4) {
            p.site = std::string(d.substr(0, d.size() - 3));
            p.tree = std::string(d.substr(d.size() - 3, 2));
            p.core = std::string(d.substr(d.size() - 1));
        } else {
            p.tree = std::string(d);
        }
        return p;
    }
    p.site = std::string(s.substr(0, letters));
    if (!rest.empty()) {  // letters digits letters, or digits letters
        p.tree = std::string(d);
        p.core = std::string(rest);
    } else {  // letters digits
        p.tree = std::string(d.substr(0, std::min<std::size_t>(2, d.size())));
        p.core = std::string(d.size() > 2 ? d.substr(2) : std::string_view());
    }
    return p;
}

std::vector<int> tree_numbers(const std::vector<std::string>& ids, const TreeIdLayout& layout) {
    std::map<std::string, int> seen;
    std::vector<int> out;
    out.reserve(ids.size());
    for (const std::string& id : ids) {
        const TreeIdParts p = split_tree_id(id, layout);
        const std::string key = p.site + '\x1f' + p.tree;
        const auto it = seen.emplace(key, static_cast<int>(seen.size())).first;
        out.push_back(it->second);
    }
    return out;
}

bool parse_tree_id_layout(std::string_view text, TreeIdLayout& layout) {
    text = trimmed(text);
    if (text == "auto") {
        layout = TreeIdLayout{true, 0, 0};
        return true;
    }
    int values[3] = {-1, -1, -1};
    int count = 0;
    std::size_t k = 0;
    while (k < text.size() && count < 3) {
        const std::size_t n = run_of(text.substr(k), is_digit);
        if (n == 0 || n > 3) return false;
        values[count++] = std::stoi(std::string(text.substr(k, n)));
        k += n;
        if (k < text.size()) {
            if (text[k] != ',') return false;
            ++k;
            if (k == text.size()) return false;
        }
    }
    if (k != text.size() || count < 2) return false;
    // A tree needs at least one character; layouts longer than identifiers mean nothing.
    if (values[0] + values[1] == 0 || values[0] > 8 || values[1] > 8) return false;
    layout = TreeIdLayout{false, values[0], values[1]};
    return true;
}

}  // namespace kestrovan
