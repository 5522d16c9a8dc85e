#include "io/tridas.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "io/text_fields.hpp"
#include "model/format.hpp"
#include "model/freeform.hpp"

namespace kestrovan {

namespace {

constexpr double kLargestWidth = 100.0;
// A document larger than this is not a set of ring-width series the table could hold.
constexpr std::size_t kLargestDocument = std::size_t{512} << 20;

std::string lower(std::string_view s) {
    std::string t(s);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

// The name of an element without its namespace prefix.
std::string_view local_name(const pugi::xml_node& n) {
    const std::string_view name = n.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& n, std::string_view name) {
    for (pugi::xml_node c : n.children())
        if (c.type() == pugi::node_element && local_name(c) == name) return c;
    return {};
}

std::string text_of(const pugi::xml_node& n) { return trim(n.child_value()); }

// TRiDaS units (normalTridas) as parts of a millimetre.
std::optional<int> tridas_unit(std::string_view name) {
    const std::string n = lower(trim(name));
    if (n == "micrometres" || n == "micrometers") return 1000;
    if (n == "1/100th millimetres") return 100;
    if (n == "1/50th millimetres") return 50;
    if (n == "1/20th millimetres") return 20;
    if (n == "1/10th millimetres") return 10;
    if (n == "millimetres" || n == "millimeters") return 1;
    return std::nullopt;
}

class TridasReader {
public:
    TridasReader(LoadNotes& notes, std::string text) : notes_(notes), text_(std::move(text)) {
        for (std::size_t i = 0; i < text_.size(); ++i)
            if (text_[i] == '\n') line_starts_.push_back(i + 1);
    }

    bool run(std::vector<InputSeries>& out) {
        pugi::xml_document doc;
        const pugi::xml_parse_result r =
            doc.load_buffer(text_.data(), text_.size(), pugi::parse_default, pugi::encoding_auto);
        if (!r)
            return refuse("Line " + std::to_string(line_of(static_cast<std::ptrdiff_t>(r.offset))) +
                          ": the XML document cannot be read (" + r.description() + ").");
        std::vector<pugi::xml_node> series;
        collect(doc, series);
        if (series.empty()) return refuse("The document holds no measurementSeries element.");
        for (const pugi::xml_node& s : series) {
            const std::string title = text_of(child(s, "title"));
            if (title.empty()) return refuse(at(s) + ": the series has no <title>.");
            if (!one_line(title))
                return refuse(at(child(s, "title")) + ": the title is not one line of text.");
        }
        const std::vector<std::string> names = series_names(series);
        for (std::size_t k = 0; k < series.size(); ++k)
            if (!read_series(series[k], names[k], out)) return false;
        return refuse_repeated_series(notes_, out, [&](std::size_t i) {
            return "in <measurementSeries> " + std::to_string(i + 1) + " of the document (line " +
                   std::to_string(out[i].line) + ")";
        });
    }

private:
    bool refuse(const std::string& what) { return refuse_reading(notes_, what); }

    int line_of(std::ptrdiff_t offset) const {
        const auto it =
            std::upper_bound(line_starts_.begin(), line_starts_.end(), static_cast<std::size_t>(offset));
        return static_cast<int>(std::distance(line_starts_.begin(), it));
    }
    std::string at(const pugi::xml_node& n) const {
        return "Line " + std::to_string(line_of(n.offset_debug())) + ", <" + std::string(local_name(n)) + ">";
    }

    void collect(const pugi::xml_node& n, std::vector<pugi::xml_node>& found) {
        // Iterative walk: a deeply nested document must not exhaust the stack.
        for (pugi::xml_node c = n.first_child(); c;) {
            if (c.type() == pugi::node_element && local_name(c) == "measurementSeries") found.push_back(c);
            if (c.type() == pugi::node_element && local_name(c) != "measurementSeries" && c.first_child()) {
                c = c.first_child();
                continue;
            }
            while (c && !c.next_sibling() && c.parent() != n) c = c.parent();
            c = c ? c.next_sibling() : c;
        }
    }

    std::optional<long long> year_of(const pugi::xml_node& y, bool& ok) {
        ok = false;
        const auto v = parse_int(text_of(y));
        if (!v) {
            refuse(at(y) + ": \"" + printable(text_of(y)) + "\" is not a year.");
            return std::nullopt;
        }
        const std::string suffix = y.attribute("suffix").value();
        ok = true;
        if (suffix == "AD") return *v;
        if (suffix == "BC") return 1LL - *v;
        if (suffix == "BP") return 1950LL - *v;
        ok = false;
        refuse(at(y) + ": the year's suffix \"" + printable(suffix) + "\" is not AD, BC or BP.");
        return std::nullopt;
    }

    // The one <values> group of ring widths.
    pugi::xml_node ring_widths(const pugi::xml_node& s, std::string& why) {
        pugi::xml_node found;
        for (pugi::xml_node v : s.children()) {
            if (v.type() != pugi::node_element || local_name(v) != "values") continue;
            const pugi::xml_node var = child(v, "variable");
            const std::string normal = lower(var.attribute("normalTridas").value());
            if (normal != "ring width") continue;
            if (found) {
                why = at(v) + ": a second group of ring widths in the series (the first at line " +
                      std::to_string(line_of(found.offset_debug())) + ").";
                return {};
            }
            found = v;
        }
        if (!found)
            why =
                at(s) +
                ": the series holds no <values> group of ring widths (variable normalTridas=\"ring width\").";
        return found;
    }

    static bool one_line(const std::string& text) {
        return std::none_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    }

    // The titles of a series' element, sample and radius (the nearest of each around it; "" where
    // it has none or the title is not one line) and its own title.
    static std::array<std::string, 4> hierarchy_titles(const pugi::xml_node& s) {
        static constexpr std::array<std::string_view, 3> kLevels = {"element", "sample", "radius"};
        std::array<std::string, 4> titles;
        std::array<bool, 3> found{};
        for (pugi::xml_node p = s.parent(); p; p = p.parent()) {
            if (p.type() != pugi::node_element) continue;
            for (std::size_t k = 0; k < kLevels.size(); ++k)
                if (!found[k] && local_name(p) == kLevels[k]) {
                    found[k] = true;
                    const std::string t = text_of(child(p, "title"));
                    if (one_line(t)) titles[k] = t;
                }
        }
        titles[3] = text_of(child(s, "title"));
        return titles;
    }

    // The name of every series: its element's title (the tree) whole, followed by the titles of
    // the sample, radius and series at the levels where series of one element differ. Titles that
    // tell no two series of a tree apart (the object's, a radius "1" everywhere) are left out, so
    // that series titled "1", "2" in every tree become "T01" + "1", "T01" + "2", ... A series
    // whose name would be empty (no element, nothing to tell apart) keeps its own title.
    static std::vector<std::string> series_names(const std::vector<pugi::xml_node>& series) {
        std::vector<std::array<std::string, 4>> titles;
        titles.reserve(series.size());
        for (const pugi::xml_node& s : series) titles.push_back(hierarchy_titles(s));
        std::array<bool, 4> kept{true, false, false, false};
        for (std::size_t level = 1; level < 4; ++level) {
            std::map<std::string, std::set<std::string>> by_element;
            for (const auto& t : titles) by_element[t[0]].insert(t[level]);
            for (const auto& [element, seen] : by_element)
                if (seen.size() > 1) kept[level] = true;
        }
        std::vector<std::string> names;
        names.reserve(series.size());
        for (const auto& t : titles) {
            std::string name;
            for (std::size_t level = 0; level < 4; ++level)
                if (kept[level]) name += t[level];
            names.push_back(name.empty() ? t[3] : name);
        }
        return names;
    }

    bool read_series(const pugi::xml_node& s, const std::string& name, std::vector<InputSeries>& out) {
        const std::string series = "series " + printable(name);
        const pugi::xml_node interp = child(s, "interpretation");
        const pugi::xml_node first = child(interp, "firstYear");
        if (!first)
            return refuse(at(s) + ": " + series + " has no interpretation/firstYear (it is not dated).");
        bool ok = false;
        const auto first_year = year_of(first, ok);
        if (!ok) return false;
        std::string why;
        const pugi::xml_node values = ring_widths(s, why);
        if (!values) return refuse(why);
        const pugi::xml_node unit = child(values, "unit");
        const auto parts = tridas_unit(unit.attribute("normalTridas").value());
        if (!parts)
            return refuse(at(unit ? unit : values) + ": the unit of " + series + " (\"" +
                          printable(unit.attribute("normalTridas").value()) +
                          "\") is not one this program knows (micrometres, 1/100th, 1/50th, 1/20th or "
                          "1/10th millimetres, millimetres).");
        InputSeries in{name, 0, {}, line_of(s.offset_debug())};
        for (pugi::xml_node v : values.children()) {
            if (v.type() != pugi::node_element || local_name(v) != "value") continue;
            const std::string text = trim(v.attribute("value").value());
            const auto x = parse_real(text);
            const long long year = *first_year + static_cast<long long>(in.values.size());
            if (!x)
                return refuse(at(v) + " (" + series + ", " + std::to_string(year) + "): \"" +
                              printable(text) + "\" is not a number.");
            const float w = width_in_mm(*x, *parts);
            if (!(w < kLargestWidth))
                return refuse(at(v) + " (" + series + ", " + std::to_string(year) +
                              "): not a ring width in millimetres (100 or more).");
            if (static_cast<int>(in.values.size()) == kMaxYears)
                return refuse(at(v) + ": " + series + " holds more than " + std::to_string(kMaxYears) +
                              " values, the limit per series.");
            in.values.push_back(w);
        }
        if (in.values.empty()) return refuse(at(values) + ": " + series + " holds no <value>.");
        const long long last = *first_year + static_cast<long long>(in.values.size()) - 1;
        if (*first_year < kEarliestYear || last > kLatestYear)
            return refuse(at(first) + ": " + series + " runs from " + std::to_string(*first_year) + " to " +
                          std::to_string(last) + ", outside the years " + std::to_string(kEarliestYear) +
                          " to " + std::to_string(kLatestYear) + ".");
        if (const pugi::xml_node l = child(interp, "lastYear")) {
            const auto ly = year_of(l, ok);
            if (!ok) return false;
            if (*ly != last)
                return refuse(at(l) + ": " + series + " has " + std::to_string(in.values.size()) +
                              " values from " + std::to_string(*first_year) + ", so its last year is " +
                              std::to_string(last) + ", not " + std::to_string(*ly) + ".");
        }
        in.first_year = static_cast<int>(*first_year);
        out.push_back(std::move(in));
        return true;
    }

    LoadNotes& notes_;
    std::string text_;
    std::vector<std::size_t> line_starts_{0};
};

}  // namespace

bool read_tridas(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes) {
    std::string text;
    char buf[1 << 16];
    while (file.read(buf, sizeof buf) || file.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(file.gcount()));
        if (text.size() > kLargestDocument) {
            return refuse_reading(notes, "The document is larger than " +
                                             std::to_string(kLargestDocument >> 20) +
                                             " MiB: not a set of series this program can hold.");
        }
    }
    return TridasReader(notes, std::move(text)).run(series);
}

namespace {
bool looks_like_tridas_text(std::string_view start) {
    std::size_t i = 0;
    while (i < start.size() && std::isspace(static_cast<unsigned char>(start[i]))) ++i;
    if (i >= start.size() || start[i] != '<') return false;
    return lower(start.substr(i, 4096)).find("tridas") != std::string::npos;
}
}  // namespace

bool looks_like_tridas(std::string_view start) {
    // A document in UTF-16 (its byte-order mark, or "<" beside a zero byte) is looked at through
    // its ASCII characters: the zero bytes and the marks dropped. The reader takes it whole.
    const bool utf16 =
        start.size() >= 2 &&
        ((start[0] == '\xFF' && start[1] == '\xFE') || (start[0] == '\xFE' && start[1] == '\xFF') ||
         (start[0] == '<' && start[1] == '\0') || (start[0] == '\0' && start[1] == '<'));
    if (utf16) {
        std::string narrow;
        for (char ch : start)
            if (ch != '\0' && ch != '\xFF' && ch != '\xFE') narrow += ch;
        return looks_like_tridas_text(narrow);
    }
    return looks_like_tridas_text(start);
}

}  // namespace kestrovan
