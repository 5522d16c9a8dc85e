// Mutation campaign over the bundled files: parts of gp, co021 and ca533 in each of the four file
// kinds (Tucson ring widths, Tucson chronologies written by the program's own writer, single
// column, multiple columns), each damaged in one way (a byte replaced, the file cut, a line
// deleted or repeated, an end marker removed, a byte-order mark, tabs, CRLF line ends, a huge
// number, one endless line), on the first line of a series or anywhere, and loaded through the
// format menu. Every load must either read what the file says, every series the damage leaves in
// the file and every value at the year and in the series the file gives it (values on a damaged
// line may differ), or be refused with a message naming a line of the file.
// Deterministic: the damage is drawn from fixed seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "reader_files.hpp"
#include "support/temp_dir.hpp"

using namespace kestrovan;
using namespace kestrovan::testing;

namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {  // splitmix64: the same numbers on every platform
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }

private:
    std::uint64_t state_;
};

enum class Kind { RingWidths, Chronologies, SingleColumn, MultipleColumns };

// A file as written, with what each of its lines carries: the (series, year) cells whose values
// come from it, and for each series the line that gives its identifier.
struct Base {
    Kind kind = Kind::RingWidths;
    std::string answers;  // the format menu (and column questions), then RETURNs
    std::vector<std::string> lines;
    SeriesTable truth;
    std::vector<std::vector<std::pair<int, int>>> cells;  // per line
    std::vector<int> id_line;                             // per series
    std::vector<int> block_line;  // single column: per line its series' value index, else -1
};

int series_of(const SeriesTable& t, const std::string& id) {
    for (int s = 0; s < t.count(); ++s)
        if (rtrim(t.ids[static_cast<std::size_t>(s)]) == rtrim(id)) return s;
    return -1;
}

// The three header lines and the first `keep` series of a bundled file, as Tucson text.
std::string tucson_part(const std::string& name, int keep) {
    std::string text, previous;
    int series = 0, number = 0;
    for (const auto& l : split_lines(bundled(name))) {
        const std::string id = l.substr(0, 8);
        if (++number > 3 && id != previous) {
            previous = id;
            if (++series > keep) break;
        }
        text += l + "\n";
    }
    return text;
}

// Tucson decade lines: a line's cells are the years from its year field to its decade's end.
void decade_provenance(Base& b) {
    const bool rings = b.kind == Kind::RingWidths;
    b.id_line.assign(static_cast<std::size_t>(b.truth.count()), -1);
    for (std::size_t i = 0; i < b.lines.size(); ++i) {
        const std::string& l = b.lines[i];
        std::vector<std::pair<int, int>> c;
        const std::size_t id_width = rings ? 8 : 6;
        if (l.size() > id_width + 4) {
            const int s = series_of(b.truth, l.substr(0, id_width));
            const std::string year = l.substr(id_width, 4);
            if (s >= 0 && year.find_first_not_of(" -0123456789") == std::string::npos) {
                const int y = std::stoi(year);
                for (int k = y; k <= y - y % 10 + 9; ++k) c.emplace_back(s, k);
                if (b.id_line[static_cast<std::size_t>(s)] < 0)
                    b.id_line[static_cast<std::size_t>(s)] = static_cast<int>(i);
            }
        }
        b.cells.push_back(std::move(c));
    }
}

void single_column_provenance(Base& b) {
    for (int s = 0; s < b.truth.count(); ++s) {
        const YearSpan& span = b.truth.years[static_cast<std::size_t>(s)];
        b.id_line.push_back(static_cast<int>(b.cells.size()));
        b.cells.emplace_back();
        b.block_line.push_back(-1);
        std::vector<std::pair<int, int>> all;  // the year line places the whole series
        for (int k = 0; k < span.length; ++k) all.emplace_back(s, span.first + k);
        b.cells.push_back(all);
        b.block_line.push_back(-1);
        for (int k = 0; k < span.length; ++k) {
            b.cells.push_back({{s, span.first + k}});
            b.block_line.push_back(k);
        }
    }
}

void multiple_column_provenance(Base& b) {
    b.cells.emplace_back();
    b.id_line.assign(static_cast<std::size_t>(b.truth.count()), 0);
    for (int y = b.truth.summary.first; y <= b.truth.summary.last; ++y) {
        std::vector<std::pair<int, int>> c;
        for (int s = 0; s < b.truth.count(); ++s) c.emplace_back(s, y);
        b.cells.push_back(std::move(c));
    }
}

// The series cut to their first `keep` values: column files of the whole series would make the
// campaign slow under the sanitizers without damaging anything new.
SeriesTable first_values(const SeriesTable& t, int keep) {
    SeriesTable cut = t;
    for (auto& span : cut.years) {
        span.length = std::min(span.length, keep);
        span.last = span.first + span.length - 1;
    }
    cut.update_summary();
    return cut;
}

Base make_base(Kind kind, const SeriesTable& whole, const std::string& tucson_text, bool variant) {
    Base b;
    b.kind = kind;
    const SeriesTable source = kind == Kind::RingWidths ? whole : first_values(whole, 150);
    std::string text;
    switch (kind) {
        case Kind::RingWidths:
            text = tucson_text;
            b.answers = "1\n";
            break;
        case Kind::Chronologies:
            text = chronologies(source, variant);
            b.answers = "2\n";
            break;
        case Kind::SingleColumn:
            text = single_column(source);
            b.answers = "3\n0\n";
            break;
        case Kind::MultipleColumns:
            text = multiple_columns(source, variant ? "*******" : "-9.9");
            b.answers =
                "4\n0\n" + std::to_string(source.count() + 1) + "\n" + (variant ? "*" : "-9.9") + "\n";
            break;
    }
    b.lines = split_lines(text);
    const Loaded truth = load(text, b.answers);
    if (!truth.ok) throw std::runtime_error("a base file does not load:\n" + truth.shown);
    b.truth = truth.table;
    if (kind == Kind::SingleColumn)
        single_column_provenance(b);
    else if (kind == Kind::MultipleColumns)
        multiple_column_provenance(b);
    else
        decade_provenance(b);
    return b;
}

// One damaged copy: its text; the cells whose value the damage may change (the value standing
// in a damaged field) and the series whose identifier it may change; and (single column) the
// truth as the file now gives it when a value line was deleted or repeated. A damage that moves
// fields (a tab put in, a line cut short) exempts nothing: the load must be refused or exact.
// Every series of the truth must be read, but those the damage may take out of the file (a cut
// before its first line, its only line deleted, its identifier line gone).
struct Mutant {
    std::string text;
    std::set<std::pair<int, int>> exempt;
    std::set<int> renamed;
    std::set<int> may_vanish;
    SeriesTable truth;
};

// The series that lose every line of theirs when base line `li` is deleted, or whose identifier
// stands on it (the column kinds: the series then merges with another or loses its name).
void lines_lost(const Base& b, std::size_t li, std::size_t count, Mutant& m) {
    for (int s = 0; s < b.truth.count(); ++s) {
        const int id = b.id_line[static_cast<std::size_t>(s)];
        bool elsewhere = false;
        for (std::size_t i = 0; i < b.cells.size() && !elsewhere; ++i)
            if (i < li || i >= li + count)
                for (const auto& c : b.cells[i]) elsewhere = elsewhere || c.first == s;
        if (!elsewhere || (id >= static_cast<int>(li) && id < static_cast<int>(li + count) &&
                           b.kind != Kind::RingWidths && b.kind != Kind::Chronologies))
            m.may_vanish.insert(s);
    }
}

// The (series, year) cell whose value stands at column `col` (0-based) of base line `li`, if any.
std::optional<std::pair<int, int>> cell_at(const Base& b, std::size_t li, std::size_t col) {
    const auto& cells = b.cells[li];
    if (cells.empty()) return std::nullopt;
    const std::string& line = b.lines[li];
    switch (b.kind) {
        case Kind::RingWidths:
        case Kind::Chronologies: {
            const bool rings = b.kind == Kind::RingWidths;
            const std::size_t first = rings ? 12 : 10, step = rings ? 6 : 7;
            if (col < first || col >= first + 10 * step) return std::nullopt;
            const int k = static_cast<int>((col - first) / step);
            const int y = cells.front().second;
            const int year = rings ? y + k : y - y % 10 + k;
            for (const auto& c : cells)
                if (c.second == year) return c;
            return std::nullopt;
        }
        case Kind::SingleColumn:
            return cells.size() == 1 ? std::optional<std::pair<int, int>>(cells.front()) : std::nullopt;
        case Kind::MultipleColumns: {
            if (line.empty()) return std::nullopt;
            int token = -1;
            bool in_token = false;
            for (std::size_t i = 0; i <= std::min(col, line.size() - 1); ++i) {
                const bool blank = line[i] == ' ';
                if (!blank && !in_token) ++token;
                in_token = !blank;
            }
            if (!in_token && col < line.size()) return std::nullopt;
            if (token < 1 || token > static_cast<int>(cells.size())) return std::nullopt;
            return cells[static_cast<std::size_t>(token - 1)];
        }
    }
    return std::nullopt;
}

// What a change of the character at column `col` of base line `li` may change.
void damaged_at(const Base& b, std::size_t li, std::size_t col, Mutant& m) {
    if (li >= b.lines.size()) return;
    if (auto c = cell_at(b, li, col)) m.exempt.insert(*c);
    // A single column's year line places its whole series.
    if (b.kind == Kind::SingleColumn && b.cells[li].size() > 1)
        for (const auto& c : b.cells[li]) m.exempt.insert(c);
    // A Tucson line's identifier is its first 8 (chronologies 6) columns; a change after them
    // leaves the series its name, and the series must still be read.
    const bool decades = b.kind == Kind::RingWidths || b.kind == Kind::Chronologies;
    if (decades && col >= (b.kind == Kind::RingWidths ? 8u : 6u)) return;
    for (int s = 0; s < b.truth.count(); ++s)
        if (b.id_line[static_cast<std::size_t>(s)] == static_cast<int>(li)) m.renamed.insert(s);
}

std::string joined(const std::vector<std::string>& lines, const char* end = "\n") {
    std::string t;
    for (const auto& l : lines) t += l + end;
    return t;
}

// A value field or item on a line: its start and length; nullopt when the line holds none.
std::optional<std::pair<std::size_t, std::size_t>> value_at(const Base& b, const std::string& line,
                                                            Random& r) {
    if (b.kind == Kind::RingWidths || b.kind == Kind::Chronologies) {
        const std::size_t first = b.kind == Kind::RingWidths ? 12 : 10,
                          width = b.kind == Kind::RingWidths ? 6 : 4;
        const std::size_t step = b.kind == Kind::RingWidths ? 6 : 7;
        if (line.size() < first + width) return std::nullopt;
        const std::size_t fields = (line.size() - first) / step;
        return std::make_pair(first + step * r.below(std::max<std::size_t>(fields, 1)), width);
    }
    std::vector<std::pair<std::size_t, std::size_t>> items;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t a = line.find_first_not_of(' ', i);
        if (a == std::string::npos) break;
        const std::size_t e = std::min(line.find(' ', a), line.size());
        items.emplace_back(a, e - a);
        i = e;
    }
    if (items.size() < (b.kind == Kind::MultipleColumns ? 2u : 1u)) return std::nullopt;
    return items[b.kind == Kind::MultipleColumns ? 1 + r.below(items.size() - 1) : 0];
}

// A line deleted or repeated. A single-column file gives a value its year by its place in the
// block, so there the truth moves with the line.
void delete_or_repeat(const Base& b, std::vector<std::string>& lines, std::size_t li, bool repeat,
                      Mutant& m) {
    if (b.kind == Kind::SingleColumn && b.block_line[li] >= 0) {
        const int s = b.cells[li][0].first;
        const int k = b.block_line[li];
        auto& span = m.truth.years[static_cast<std::size_t>(s)];
        std::vector<float> v = values_of(m.truth, s);
        if (repeat)
            v.insert(v.begin() + k, v[static_cast<std::size_t>(k)]);
        else
            v.erase(v.begin() + k);
        span.length = static_cast<int>(v.size());
        span.last = span.first + span.length - 1;
        if (m.truth.data.rows() < span.length) m.truth.data.resize(span.length, m.truth.count());
        for (int j = 0; j < m.truth.data.rows(); ++j)
            m.truth.data(j, s) = j < span.length ? v[static_cast<std::size_t>(j)] : kMissing;
    }
    if (repeat)
        lines.insert(lines.begin() + static_cast<long>(li), lines[li]);
    else
        lines.erase(lines.begin() + static_cast<long>(li));
}

// An end marker removed; the column kinds have none: an identifier line, or one padding item.
void remove_end_marker(const Base& b, std::vector<std::string>& lines, Mutant& m, Random& r) {
    if (b.kind == Kind::RingWidths || b.kind == Kind::Chronologies) {
        const std::string marker = b.kind == Kind::RingWidths ? "   999" : "9990  0";
        std::vector<std::size_t> with;
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(marker) != std::string::npos) with.push_back(i);
        const std::size_t at = with[r.below(with.size())];
        lines[at] = lines[at].substr(0, lines[at].find(marker));
    } else if (b.kind == Kind::SingleColumn) {
        const std::size_t at = static_cast<std::size_t>(b.id_line[r.below(b.id_line.size())]);
        lines_lost(b, at, 1, m);
        lines.erase(lines.begin() + static_cast<long>(at));
    } else {
        const std::size_t at = 1 + r.below(lines.size() - 1);
        const std::string pad = b.answers.find("-9.9") != std::string::npos ? " -9.9" : " *******";
        if (const auto p = lines[at].find(pad); p != std::string::npos) lines[at].erase(p, pad.size());
    }
}

// `on_first_line`: the damage goes on the line that starts a series (its identifier line) rather
// than on any line; where a reader takes a series' start for a title, the series goes missing.
Mutant mutate(const Base& b, int which, bool on_first_line, Random& r) {
    Mutant m;
    m.truth = b.truth;
    std::vector<std::string> lines = b.lines;
    const std::size_t n = lines.size();
    const std::size_t li =
        on_first_line ? static_cast<std::size_t>(b.id_line[r.below(b.id_line.size())]) : r.below(n);
    std::string& line = lines[li];
    static const char* const kHuge[] = {"999999",   "1e39",  "1e38",  "-1e38",
                                        "99999999", "1e308", "1e999", "100"};
    switch (which) {
        case 0:    // a byte replaced by any other byte
        case 1: {  // the file cut anywhere
            const std::string text = joined(lines);
            std::size_t line_start = 0;
            for (std::size_t i = 0; i < li; ++i) line_start += lines[i].size() + 1;
            const std::size_t at = on_first_line ? line_start + r.below(lines[li].size() + 1) : r.below(text.size());
            const auto line_no = static_cast<std::size_t>(
                std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
            const std::size_t col = at - (line_no == 0 ? 0 : text.rfind('\n', at - 1) + 1);
            if (which == 0) {
                m.text = text;
                char& c = m.text[at];
                c = static_cast<char>((static_cast<unsigned char>(text[at]) + 1 + r.below(255)) % 256);
                // A single column gives values their years by their places only: a line end put into
                // a value line makes two values where there was one, which the file then says.
                if (b.kind == Kind::SingleColumn && (c == '\n' || c == '\r')) c = '#';
                damaged_at(b, line_no, col, m);
            } else {
                m.text = text.substr(0, at);
                // A cut in a column file's last item leaves a shorter number there; elsewhere the
                // fields after the cut are missing, not changed.
                if (b.kind == Kind::SingleColumn || b.kind == Kind::MultipleColumns)
                    damaged_at(b, line_no, col, m);
                m.renamed.clear();
                lines_lost(b, line_no, n - line_no, m);
            }
            return m;
        }
        case 2:
        case 3:
            if (which == 2) lines_lost(b, li, 1, m);
            // A column file without its names line takes the next line for the names.
            if (which == 2 && b.kind == Kind::MultipleColumns && li == 0)
                for (int s = 0; s < b.truth.count(); ++s) m.renamed.insert(s);
            delete_or_repeat(b, lines, li, which == 3, m);
            break;
        case 4: remove_end_marker(b, lines, m, r); break;
        case 5: m.text = "\xEF\xBB\xBF" + joined(lines); return m;
        case 6: {  // a blank replaced by a tab (read as that blank), or a tab put in
            const std::size_t blank = line.find(' ', r.below(line.size() + 1));
            if (blank != std::string::npos && r.below(2) == 0) {
                line[blank] = '\t';
            } else {
                const std::size_t at = r.below(line.size() + 1);
                line.insert(at, "\t");
                // A single column's identifier is the first item of its line: a tab may cut it.
                if (b.kind == Kind::SingleColumn) damaged_at(b, li, at, m);
            }
            break;
        }
        case 7: {  // CRLF (or CR) line ends: all of them, or one
            if (r.below(3) == 0) {
                m.text = joined(lines, r.below(2) ? "\r\n" : "\r");
                return m;
            }
            line += "\r";
            break;
        }
        case 8: {  // a huge number in a value's place
            if (auto v = value_at(b, line, r)) {
                std::string huge = kHuge[r.below(std::size(kHuge))];
                if (b.kind == Kind::RingWidths || b.kind == Kind::Chronologies)
                    huge = std::string(v->second - std::min(v->second, huge.size()), ' ') +
                           huge.substr(0, v->second);
                damaged_at(b, li, v->first + v->second - 1, m);
                line.replace(v->first, v->second, huge);
            }
            break;
        }
        default: {  // one endless line of digits or letters: 16 KiB, or (rarely: it is slow to make
                    // and read under the sanitizers) more than the mebibyte a reader takes as a line
            const std::size_t size = r.below(16) == 0 ? (std::size_t{1} << 20) + 4096 : std::size_t{1} << 14;
            std::string endless(size, 'x');
            if (r.below(2))
                for (std::size_t i = 0; i < size; ++i) endless[i] = static_cast<char>('0' + i % 10);
            lines.insert(lines.begin() + static_cast<long>(li), endless);
            break;
        }
    }
    m.text = joined(lines);
    return m;
}

// What is wrong with an accepted load, or "" when every value stands where the file puts it.
std::string check_accepted(const Mutant& m, const SeriesTable& got) {
    const auto& exempt = m.exempt;
    const auto& changed_ids = m.renamed;
    std::set<int> read;
    for (int j = 0; j < got.count(); ++j) {
        int s = series_of(m.truth, got.ids[static_cast<std::size_t>(j)]);
        if (s < 0 && changed_ids.size() == 1) s = *changed_ids.begin();
        if (s < 0 && changed_ids.count(j)) s = j;
        if (s < 0) return "series " + got.ids[static_cast<std::size_t>(j)] + " is not in the file";
        read.insert(s);
        const YearSpan& want = m.truth.years[static_cast<std::size_t>(s)];
        const YearSpan& have = got.years[static_cast<std::size_t>(j)];
        for (int k = 0; k < have.length; ++k) {
            const int y = have.first + k;
            if (exempt.count({s, y})) continue;
            if (y < want.first || y > want.last)
                return "series " + got.ids[static_cast<std::size_t>(j)] + " has a value for " +
                       std::to_string(y) + ", a year the file does not give it";
            if (got.data(k, j) != m.truth.data(y - want.first, s))
                return "series " + got.ids[static_cast<std::size_t>(j)] + ", year " + std::to_string(y) +
                       ": " + std::to_string(got.data(k, j)) + " where the file has " +
                       std::to_string(m.truth.data(y - want.first, s));
        }
    }
    for (int s = 0; s < m.truth.count(); ++s)
        if (!read.count(s) && !m.may_vanish.count(s) && !changed_ids.count(s))
            return "series " + m.truth.ids[static_cast<std::size_t>(s)] + " went missing";
    return {};
}

struct Tally {
    int files = 0, accepted = 0, refused = 0;
};

}  // namespace

TEST(MutatedFiles, EveryLoadReadsWhatTheFileSaysOrNamesTheLine) {
    struct Source {
        const char* name;
        int keep;
    } sources[] = {{"gp.rwl", 8}, {"co021.rwl", 4}, {"ca533.rwl", 3}};
    std::vector<std::pair<SeriesTable, std::string>> parts;
    for (const auto& s : sources) {
        const std::string text = tucson_part(s.name, s.keep);
        const Loaded l = load(text, "1\n");
        ASSERT_TRUE(l.ok) << l.shown;
        ASSERT_EQ(l.table.count(), s.keep) << s.name;
        parts.emplace_back(l.table, text);
    }
    const std::regex names_a_line("[Ll]ines? [0-9]+|[0-9]+ lines");
    const char* const kind_names[] = {"Tucson ring widths", "Tucson chronologies", "single column",
                                      "multiple columns"};
    constexpr int kPerBase = 190;  // three bases per reader: 570 files each
    std::map<int, Tally> tally;
    for (int kind = 0; kind < 4; ++kind) {
        for (std::size_t p = 0; p < parts.size(); ++p) {
            const Base base = make_base(static_cast<Kind>(kind), parts[p].first, parts[p].second, p % 2 == 1);
            Random random(1000003u * static_cast<unsigned>(kind + 1) + 7919u * static_cast<unsigned>(p));
            for (int i = 0; i < kPerBase; ++i) {
                const int which = i % 10;
                const bool on_first_line = i / 10 % 2 == 1;
                const Mutant m = mutate(base, which, on_first_line, random);
                const Loaded got = load(m.text, base.answers + std::string(8, '\n'));
                Tally& t = tally[kind];
                ++t.files;
                const std::string what = std::string(kind_names[kind]) + ", base " + std::to_string(p) +
                                         ", mutant " + std::to_string(i) + " (damage " +
                                         std::to_string(which) + (on_first_line ? ", first line" : "") + ")";
                ASSERT_FALSE(got.stopped) << what << ": the dialogue stopped\n" << got.shown.substr(0, 3000);
                if (got.ok) {
                    ++t.accepted;
                    const std::string wrong = check_accepted(m, got.table);
                    ASSERT_EQ(wrong, "")
                        << what << "\n"
                        << got.shown.substr(0, 3000) << "\nthe file ends:\n"
                        << m.text.substr(m.text.size() - std::min<std::size_t>(m.text.size(), 300));
                } else {
                    ++t.refused;
                    ASSERT_TRUE(std::regex_search(got.shown, names_a_line))
                        << what << ": refused without naming a line\n"
                        << got.shown.substr(0, 3000);
                }
            }
        }
    }
    int files = 0;
    for (const auto& [kind, t] : tally) {
        files += t.files;
        std::cout << "  " << kind_names[kind] << ": " << t.files << " files, " << t.accepted << " accepted, "
                  << t.refused << " refused\n";
        EXPECT_GT(t.accepted, 0);
        EXPECT_GT(t.refused, 0);
    }
    EXPECT_GE(files, 2000);
}
