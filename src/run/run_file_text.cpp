#include "run/run_file.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "io/output_files.hpp"

// The text of run files: how values are written, the run file of a plan, and the look at a
// file's text that comes before the TOML parser.
namespace kestrovan {

std::string toml_string(const std::string& s) {
    std::string t = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            t += std::string("\\") + c;
        } else if (u < 0x20 || u == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", u);
            t += esc;
        } else {
            t += c;
        }
    }
    return t + "\"";
}

std::string toml_text(const PlanValue& v) {
    struct Writer {
        std::string operator()(std::monostate) const { return ""; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(long long i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            char buf[40];
            const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general);
            std::string t(buf, r.ptr);
            if (t.find_first_of(".eEn") == std::string::npos) t += ".0";
            return t;
        }
        std::string operator()(const std::string& s) const { return toml_string(s); }
        std::string operator()(const std::vector<long long>& a) const {
            std::string t = "[";
            for (std::size_t i = 0; i < a.size(); ++i) t += (i ? ", " : "") + std::to_string(a[i]);
            return t + "]";
        }
    };
    return std::visit(Writer{}, v);
}

namespace {

namespace fs = std::filesystem;

// `path` relative to the directory `dir` ("" = the current directory), where it can be.
std::string relative_to(const std::string& path, const std::string& dir) {
    std::error_code ec;
    const fs::path base = fs::absolute(dir.empty() ? fs::path(".") : fs::path(dir), ec).lexically_normal();
    const fs::path full = fs::absolute(path, ec).lexically_normal();
    const fs::path rel = full.lexically_relative(base);
    return rel.empty() ? full.string() : rel.string();
}

}  // namespace

std::string run_file_text(const RunPlan& plan, const std::string& dir) {
    std::string data_dir, own;
    split_path(plan.data, data_dir, own);
    std::string out = std::string(kRunFileFirstLine) + "\n";
    for (PlanEntry e : plan_entries(plan, true)) {
        if (e.key == "data") e.value = relative_to(plan.data, dir);
        if (e.key == "pith" && !plan.pith.empty()) e.value = relative_to(plan.pith, data_dir);
        if (!std::holds_alternative<std::monostate>(e.value))
            out += e.key + " = " + toml_text(e.value) + "\n";
    }
    if (const auto table = crossdating_entries(plan, true); !table.empty()) {
        out += "\n[crossdating]\n";
        for (const PlanEntry& e : table) out += e.key + " = " + toml_text(e.value) + "\n";
    }
    for (const auto& retry : retry_entries(plan)) {
        out += "\n[[retry]]\n";
        for (const PlanEntry& e : retry) out += e.key + " = " + toml_text(e.value) + "\n";
    }
    return out;
}

namespace {

// The longest chain of dotted key parts a run file may hold. The program's keys have one part;
// the TOML parser takes a dotted key by recursion, so a chain of many thousands of parts would
// exhaust the stack: such a file is refused before it is parsed.
constexpr int kMostKeyParts = 64;

// Passes over a string that starts at text[i] (a quote); returns the position after it, or
// text.size() when it does not end.
std::size_t after_string(const std::string& text, std::size_t i) {
    const char q = text[i];
    const bool multi = text.compare(i, 3, std::string(3, q)) == 0;
    std::size_t j = i + (multi ? 3 : 1);
    while (j < text.size()) {
        if (q == '"' && text[j] == '\\') {
            j += 2;
            continue;
        }
        if (multi ? text.compare(j, 3, std::string(3, q)) == 0 : text[j] == q) return j + (multi ? 3 : 1);
        if (!multi && text[j] == '\n') return j;  // an unclosed string: the parser says so
        ++j;
    }
    return text.size();
}

}  // namespace

// Refuses a run file with a dotted key (or table name) of more than kMostKeyParts parts: a run of
// "." between bare or quoted key parts, outside strings and comments.
void check_key_depth(const std::string& text, const std::string& name) {
    int parts = 1, line = 1;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            const std::size_t end = after_string(text, i);
            line += static_cast<int>(
                std::count(text.begin() + static_cast<long>(i), text.begin() + static_cast<long>(end), '\n'));
            i = end;
            continue;
        }
        if (c == '#') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == '.') {
            if (++parts > kMostKeyParts)
                throw RunFileError(name + ": line " + std::to_string(line) + ": a key of more than " +
                                   std::to_string(kMostKeyParts) +
                                   " dotted parts (this program's keys have one)");
        } else if (c == '\n') {
            ++line;
            parts = 1;
        } else if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ' ' ||
                     c == '\t')) {
            parts = 1;
        }
        ++i;
    }
}

}  // namespace kestrovan
