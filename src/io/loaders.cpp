#include "io/loaders.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "console/ask.hpp"
#include "console/console.hpp"
#include "console/freeform.hpp"
#include "console/stop.hpp"
#include "io/compact.hpp"
#include "io/csv_reader.hpp"
#include "io/heidelberg.hpp"
#include "io/text_fields.hpp"
#include "io/text_lines.hpp"
#include "io/tridas.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

const char* const kContinue = "             Hit RETURN to Continue";
// Lines of a multiple-column file may hold thousands of columns.
constexpr std::size_t kWideLine = std::size_t{1} << 20;

// Collects series as they are read and checks the table's limits where they enter; the
// matrix is built once at the end, sized to the longest series.
class TableBuilder {
public:
    explicit TableBuilder(Console& console) : console_(console) {}

    int count() const { return static_cast<int>(ids_.size()); }
    long long values() const { return total_values_; }

    // False (message printed) when the series has no values, has years that the program's files
    // cannot hold, or would pass a limit of the table. `line` is the line of the file where the
    // series begins, named in the messages.
    bool add(std::string_view id, int first_year, std::span<const float> values, int line) {
        const std::string name = rtrim(id);
        const std::string series = "Series " + name + " (line " + std::to_string(line) + ")";
        if (count() >= kMaxSeries) {
            refuse("The file holds more than " + std::to_string(kMaxSeries) + " series, the limit: series " +
                   name + " (line " + std::to_string(line) + ") would be number " +
                   std::to_string(kMaxSeries + 1) + ".");
            return false;
        }
        const int n = static_cast<int>(values.size());
        if (n == 0) {
            refuse(series + " has no values.");
            return false;
        }
        if (n > kMaxYears) {
            refuse(series + " has " + std::to_string(n) + " values, more than " + std::to_string(kMaxYears) +
                   ", the limit per series.");
            return false;
        }
        const long long last = static_cast<long long>(first_year) + n - 1;
        if (first_year < kEarliestYear || last > kLatestYear) {
            refuse(series + " runs from " + std::to_string(first_year) + " to " + std::to_string(last) +
                   ": the program's files hold the years " + std::to_string(kEarliestYear) + " to " +
                   std::to_string(kLatestYear) + " only.");
            return false;
        }
        // The first series sets the summary's years: starting from 9999 and -9999 would leave
        // them there for series outside the four-digit years (the narrow layouts reach -99999).
        const long long earliest = count() == 0 ? first_year : std::min<long long>(earliest_, first_year);
        const long long latest = count() == 0 ? last : std::max<long long>(latest_, last);
        if (latest - earliest + 1 > kMaxYears) {
            refuse(series + " (" + std::to_string(first_year) + " to " + std::to_string(last) +
                   ") makes the data span " + std::to_string(latest - earliest + 1) + " years (" +
                   std::to_string(earliest) + " to " + std::to_string(latest) + "), more than " +
                   std::to_string(kMaxYears) + ", the limit.");
            return false;
        }
        const std::string key = rtrim(id);
        if (auto [it, fresh] = first_line_.emplace(key, line); !fresh)
            repeated_.push_back(key + " (lines " + std::to_string(it->second) + " and " +
                                std::to_string(line) + ")");
        earliest_ = static_cast<int>(earliest);
        latest_ = static_cast<int>(latest);
        ids_.push_back(fixed_width(id, 8));
        years_.push_back({first_year, static_cast<int>(last), n});
        values_.emplace_back(values.begin(), values.end());
        longest_ = std::max(longest_, n);
        total_values_ += n;
        return true;
    }

    // Multiplies every value of series s (0-based, in the order added) by `factor`.
    void scale(int s, float factor) {
        for (float& x : values_[static_cast<std::size_t>(s)]) x *= factor;
    }

    // Moves the series into the table and writes the summary slot; warns about identifiers
    // that more than one series carries.
    void finish(SeriesTable& table) {
        const int ns = count();
        table.data.resize(0, 0);
        table.data.resize(std::max(longest_, 1), ns);
        for (int s = 0; s < ns; ++s) {
            auto col = table.data.column(s);
            std::copy(values_[static_cast<std::size_t>(s)].begin(),
                      values_[static_cast<std::size_t>(s)].end(), col.begin());
        }
        table.years = std::move(years_);
        table.ids = std::move(ids_);
        table.summary = {earliest_, latest_, latest_ - earliest_ + 1};
        table.mark_as_read();
        warn_repeated();
    }

private:
    void refuse(const std::string& what) {
        console_.blank_line();
        console_.line(what, 2);
    }

    void warn_repeated() {
        if (repeated_.empty()) return;
        console_.blank_line();
        console_.line("WARNING: more than one series carries the same identifier:", 2);
        constexpr std::size_t kShown = 10;
        for (std::size_t i = 0; i < std::min(repeated_.size(), kShown); ++i) console_.line(repeated_[i], 10);
        if (repeated_.size() > kShown)
            console_.line("and " + std::to_string(repeated_.size() - kShown) + " more", 10);
        console_.line(
            "         They are kept as separate series; check that none was split by a damaged line.", 2);
    }

    Console& console_;
    std::vector<std::string> ids_;
    std::vector<YearSpan> years_;
    std::vector<std::vector<float>> values_;
    std::unordered_map<std::string, int> first_line_;  // identifier -> line of its first series
    std::vector<std::string> repeated_;                // identifiers met again, with both lines
    int earliest_ = 9999;
    int latest_ = -9999;
    int longest_ = 0;
    long long total_values_ = 0;
};

void clear_table(SeriesTable& table) {
    table.data.resize(0, 0);
    table.years.clear();
    table.ids.clear();
    table.file_positions.clear();
    table.series_in_file = 0;
    table.summary = {};
}

void rewind(std::istream& file) {
    file.clear();
    file.seekg(0);
}

void not_read(Console& console) {
    console.blank_line();
    console.line("Input data not read in successfully", 2);
    console.pause(kContinue);
}

void no_series(Console& console, int lines) {
    console.blank_line();
    console.line("No series could be read from the data file (" + std::to_string(lines) +
                     " lines): check the file and its kind.",
                 2);
}

void line_too_long_message(Console& console, int line) {
    console.blank_line();
    console.line(
        "Line " + std::to_string(line) + " of the file is longer than a mebibyte: this is not a data file.",
        2);
}

bool has_control_bytes(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// A ring-width series that ended in 9990 padding: it takes the unit of the file's other series.
struct PaddedSeries {
    int index = 0;  // in the order read
    int line = 0;   // its first line
    std::string id;
    std::string wide;  // the refusal due if its unit is hundredths ("" for none)
};

// Gives the padded series the one unit the other series declare; false after a message when
// they declare none or both, or when a value is no ring width in that unit.
bool padded_units(Console& console, TableBuilder& builder, const std::vector<PaddedSeries>& padded,
                  const std::set<int>& declared) {
    if (padded.empty()) return true;
    const PaddedSeries& first = padded.front();
    if (declared.size() != 1) {
        console.blank_line();
        console.line("Series " + first.id + " (line " + std::to_string(first.line) +
                         ") ends in 9990 padding without an end marker, and " +
                         (declared.empty() ? "no other series of the file declares a unit (999 or -9999)"
                                           : "the file's other series declare both units (999 and -9999)") +
                         ": the unit of its values is unknown.",
                     2);
        return false;
    }
    for (const PaddedSeries& p : padded) {
        if (*declared.begin() == 1000) {
            builder.scale(p.index, 0.1f);
        } else if (!p.wide.empty()) {
            console.blank_line();
            console.line(p.wide, 2);
            return false;
        }
    }
    return true;
}

// The warning about 9990 read as padding, naming its lines (the first ten).
void warn_padding(Console& console, const std::vector<int>& lines) {
    if (lines.empty()) return;
    std::string list;
    constexpr std::size_t kShown = 10;
    for (std::size_t i = 0; i < std::min(lines.size(), kShown); ++i)
        list += (i ? ", " : "") + std::to_string(lines[i]);
    if (lines.size() > kShown) list += " and " + std::to_string(lines.size() - kShown) + " more";
    console.blank_line();
    console.line("WARNING: 9990 read as padding (no value) on line" + std::string(lines.size() > 1 ? "s " : " ") +
                     list + ";",
                 2);
    console.line("         a series that ends in it takes the unit of the file's other series.", 2);
}

// Ring widths (mode "mr") or chronologies (mode "ir") read series by series.
bool load_tucson(Console& console, std::istream& file, bool rings, SeriesTable& table,
                 std::array<std::string, 3>& header) {
    TableBuilder builder(console);
    TucsonReadState state;
    TucsonSeries series;
    std::vector<PaddedSeries> padded;  // ring widths ended by 9990 padding, without an end marker
    std::set<int> declared;            // the units the other series' end markers declare
    static constexpr const char* kMissingLine[3] = {"1st itrdb line missing", "2nd itrdb line missing",
                                                    "3rd itrdb line missing"};
    while (state.counter != kEndOfFile) {
        trrw(file, rings ? "mr" : "ir", series, state, console);
        if (rings) {
            for (std::size_t k = 0; k < 3; ++k) {
                std::string& h = state.header[k];
                if (all_blank(std::string_view(h).substr(0, 6))) {
                    h.replace(0, 22, kMissingLine[k]);
                    h.replace(58, 22, kMissingLine[k]);
                }
            }
        }
        header = state.header;
        if (state.failed) {
            not_read(console);
            return false;
        }
        if (series.count == kEndOfFile) break;
        // A series without values, or a call that met no data line at all (more than 25 lines
        // that are not data), means the file is not what the user said it is.
        if (series.count < 1) {
            console.blank_line();
            console.line("WARNING: Fatal error reading data from input file.", 2);
            console.line("         Suggest checking file format and/or file type", 2);
            console.line("         Unix/Dos/Mac?", 2);
            if (state.data_lines == 0)
                console.line(
                    "         (no data line among the lines up to line " + std::to_string(state.lines) + ")",
                    2);
            else
                console.line("         (series " + rtrim(series.id) + " at line " +
                                 std::to_string(state.series_line) + " has no values)",
                             2);
            console.pause(" Hit Return to Continue");
            return false;
        }
        if (!builder.add(series.id, series.first_year,
                         std::span<const float>(series.values.data(), static_cast<std::size_t>(series.count)),
                         state.series_line)) {
            not_read(console);
            return false;
        }
        if (rings && state.unit_parts == 0)
            padded.push_back({builder.count() - 1, state.series_line, rtrim(series.id), state.padded_wide});
        else if (rings)
            declared.insert(state.unit_parts);
    }
    if (builder.values() == 0) {
        no_series(console, state.lines);
        not_read(console);
        return false;
    }
    if (!padded_units(console, builder, padded, declared)) {
        not_read(console);
        return false;
    }
    builder.finish(table);
    warn_padding(console, state.padding_lines);
    console.blank_line();
    console.line("Input data read successfully", 2);
    return true;
}

void print_lines(Console& console, std::initializer_list<const char*> lines) {
    for (const char* l : lines) console.line(l, 2);
}

void example_ring_widths(Console& console) {
    print_lines(console, {
                             "rrw - decade format",
                             "Example:",
                             "HBM01A  1940   412   388   405   367   341   359   322   298   310   287",
                             "HBM01A  1950   301   276   254   268   239   247   221   233   209   215",
                             "HBM01A  1960   198   224   207   189   176   193   181   168   172   159",
                             "HBM01A  1970   166   151   143   158   149   137   142   128   135   121",
                             "HBM01A  1980   129   117   124   108   113   102    97   106    94    99",
                             "HBM01A  1990    88    93    81    76    84    71    67    74    69    63",
                             "HBM01A  2000   178    62   236 -9999",
                             "HBM01B  1740   512   486   497   455   431   448   402   417   389   376",
                             "HBM01B  1750   391   358   344   362   327   315   333   301   296   312",
                             "HBM01B  1760   284   271   289   263   248   257   239   226   241   218",
                             "HBM01B  1770   225   207   214   198   186   203   179   191   172   168",
                             "HBM01B  1780   174   161   169   152   147   158   139   144   133   141",
                             "HBM01B  1790   156 -9999",
                             "und so veite, und so veite, ... ",
                         });
    console.pause(" <Hit Return to continue>");
}

void example_chronologies(Console& console) {
    // Two chronologies of one site, 1950 to 2003, as the chronology file holds them.
    const float raw[] = {0.356f, 0.439f, 0.276f, 0.132f, 0.424f, 0.423f, 0.258f, 0.295f, 0.379f,
                         0.382f, 0.341f, 0.298f, 0.402f, 0.367f, 0.311f, 0.284f, 0.329f, 0.356f,
                         0.318f, 0.297f, 0.305f, 0.342f, 0.288f, 0.263f, 0.317f, 0.351f, 0.296f,
                         0.274f, 0.309f, 0.322f, 0.287f, 0.265f, 0.301f, 0.279f, 0.248f, 0.266f,
                         0.291f, 0.257f, 0.238f, 0.262f, 0.244f, 0.259f, 0.231f, 0.226f, 0.249f,
                         0.218f, 0.207f, 0.229f, 0.213f, 0.198f, 0.204f, 0.191f, 0.217f, 0.186f};
    const float std_[] = {1.012f, 1.203f, 0.843f, 0.515f, 1.157f, 1.091f, 0.903f, 0.986f, 1.112f,
                          1.071f, 0.988f, 0.901f, 1.087f, 1.024f, 0.935f, 0.886f, 0.965f, 1.009f,
                          0.948f, 0.915f, 0.946f, 1.022f, 0.916f, 0.881f, 0.976f, 1.034f, 0.933f,
                          0.902f, 0.957f, 0.982f, 0.941f, 0.902f, 0.983f, 0.947f, 0.893f, 0.931f,
                          0.986f, 0.925f, 0.888f, 0.941f, 0.917f, 0.956f, 0.894f, 0.889f, 0.948f,
                          0.875f, 0.852f, 0.921f, 0.884f, 0.846f, 0.893f, 0.856f, 0.957f, 0.864f};
    std::vector<int> samples;
    for (int y = 1950; y <= 2003; ++y)
        samples.push_back(y < 1980 ? 38 : y < 1990 ? 37 : y < 1996 ? 36 : y < 2000 ? 35 : y < 2002 ? 34 : 33);
    const char* const code[2] = {"raw", "std"};
    const char* const ordinal[3] = {"1st", "2nd", "3rd"};
    console.line("chronology - index format", 2);
    console.line("Example:", 2);
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 3; ++k)
            console.line(fixed_width("tst1a.raw -- no data title --", 58) + ordinal[k] +
                             " itrdb line missing  " + code[c],
                         2);
        std::ostringstream lines;
        TucsonWriteState state;
        trrw(lines, "iw", "tst1a.", 1950, std::span<const float>(c == 0 ? raw : std_, std::size(raw)),
             samples, code[c], state, console);
        std::istringstream in(lines.str());
        std::string l;
        while (std::getline(in, l)) console.line(rtrim(l), 2);
    }
    console.line("und so veite, und so veite, ... ", 2);
    console.pause(" <Hit Return to continue>");
}

void example_single_column(Console& console) {
    print_lines(
        console,
        {
            "Single Column", "Example:", "abscdef", "1771",    "0.1",     "0.2",
            "0.3",           "...",      "..",      "bbscdef", "1772",    "0.4",
            "0.5",           "0.6",      "...",     "..",      "cbscdef", "1773",
            "0.7",           "0.8",      "0.9",     "...",     "..",      "und so veite, und so veite, ... ",
        });
    console.pause(" <Hit Return to continue>");
}

void example_multiple_columns(Console& console) {
    print_lines(console, {
                             "Multiple Columns",
                             "This format requires you to provide the total number ",
                             "of columns in your file (e.g., 6 in the examples below)",
                             "along with the sentinel value or character string used ",
                             "as a spacer to keep the rows correctly aligned by year. ",
                             "Example 1:  Sentinel = ******* ",
                             " YEAR   HKTC01A  HKTC01B  HKTC01C  HKTC01D  HKTC25A ",
                             "  1944  *******  *******     1.21  *******  ******* ",
                             "  1945  *******     2.03     1.35  *******  ******* ",
                             "  1946     1.87     1.96     1.12     1.44  ******* ",
                             "  1947     1.62     1.71     0.98     1.38     2.51 ",
                             "  1948     1.55     1.80     1.04     1.29     2.37 ",
                             "  1949     1.41     1.66     0.93     1.17     2.12 ",
                             "  1950     1.48     1.52     0.87     1.22     1.98 ",
                             "  1951     1.30     1.47     0.91     1.05     2.04 ",
                             "  1952     1.26     1.39     0.82     0.97     1.86 ",
                             "  1953     1.19     1.31     0.79     1.02     1.77 ",
                             "  1954     1.07     1.25     0.74     0.91     1.69 ",
                             "  1955     1.12  *******     0.70     0.88     1.58 ",
                             "  1956     0.98  *******  *******     0.83     1.61 ",
                             "  1957  *******  *******  *******     0.79     1.49 ",
                         });
    console.pause("  <Hit Return to continue>");
    print_lines(console, {
                             "Example 2:  Sentinel = -9.9 ",
                             "  year   HKTC01A  HKTC01B  HKTC01C  HKTC01D  HKTC25A ",
                             "  1941     -9.9     -9.9     1.64     -9.9     -9.9 ",
                             "  1942     -9.9     -9.9     1.58     2.21     -9.9 ",
                             "  1943     -9.9     1.93     1.47     2.08     -9.9 ",
                             "  1944     -9.9     1.88     1.39     1.97     2.72 ",
                             "  1945     2.31     1.76     1.42     1.85     2.60 ",
                             "  1946     2.14     1.69     1.28     1.79     2.47 ",
                             "  1947     2.02     1.57     1.21     1.66     2.39 ",
                             "  1948     1.95     1.61     1.17     1.58     2.25 ",
                             "  1949     1.83     1.49     1.09     1.51     2.18 ",
                             "  1950     1.76     1.42     1.13     1.43     2.04 ",
                             "  1951     1.68     1.37     1.02     1.38     1.97 ",
                             "  1952     1.59     -9.9     0.96     1.31     1.89 ",
                             "  1953     1.52     -9.9     -9.9     1.24     1.81 ",
                             "und so veite, und so veite, ... ",
                         });
    console.pause(" <Hit Return to continue>");
}

// The viewer numbers lines in columns 2-8, enough for every file the readers can take (the
// largest, single columns at the limits, has some 22.5 million lines); the text follows from
// column 10, under the ruler.
constexpr int kViewerNumberWidth = 7;
constexpr int kViewerTextColumn = kViewerNumberWidth + 3;

std::string ruler() {
    return at_column(kViewerTextColumn, std::string(".........1.........2.........3.........4.....") +
                                            "....5.........6.........7.........8.........9.........10");
}

// A file line as the viewer shows it: its number right-aligned in columns 2-8 (a longer number
// widens the field rather than turning into asterisks), the text from column 10.
std::string shown_line(int number, std::string_view text) {
    const std::string t = printable(text.substr(0, std::min<std::size_t>(text.size(), 100)));
    std::string n = std::to_string(number);
    if (n.size() < static_cast<std::size_t>(kViewerNumberWidth))
        n.insert(0, static_cast<std::size_t>(kViewerNumberWidth) - n.size(), ' ');
    return " " + n + " " + rtrim(t);
}

void end_of_snoop(Console& console, int lines) {
    console.blank_line();
    console.line("end-of-snoop: " + fmt_i(lines, 5) + " lines read", 2);
}

void show_format_menu(Console& console) {
    console.blank_line();
    console.line("__ Input Data Format Menu __", 19);
    console.line("_____________________________", 19);
    console.blank_line();
    console.line("Raw ring-widths (Decade)  [1]", 19);
    console.line("Chronologies (Index)      [2]", 19);
    console.line("Single Column             [3]", 19);
    console.line("Multiple Columns          [4]", 19);
    console.line("CSV or TSV table          [5]", 19);
    console.line("Heidelberg (.fh)          [6]", 19);
    console.line("Compact format            [7]", 19);
    console.line("TRiDaS XML                [8]", 19);
    console.line("Recognise the format      [9]", 19);
    console.line("Enter zer0 for HELP       [0]", 19);
    console.line("_____________________________", 19);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The format menu until it has a file kind 1-9, or 0 for help (also H, h and ?). Q or "/" quit.
// A bare RETURN shows the prompt again; any other answer is refused with its reason and the menu
// comes again. A number outside 0-9 is refused at once, before anything else is asked.
int ask_file_kind(Console& console) {
    show_format_menu(console);
    for (;;) {
        console.blank_line();
        console.prompt("Enter a value between [0-" + std::to_string(kLastFileKind) + "] or [Q]uit");
        const std::string answer = ask_or_stop(console);
        const std::string text = lower(trim(answer));
        if (text.empty()) continue;
        if (text == "q" || text == "quit") stop_by_user();
        if (text == "h" || text == "?" || text == "help") return 0;
        const NumberAnswer n = parse_integer_answer(text);
        const std::string range = "0 and " + std::to_string(kLastFileKind);
        if (n.kind == NumberAnswer::Kind::Value && n.value >= 0 && n.value <= kLastFileKind) return n.value;
        if (n.kind == NumberAnswer::Kind::Value) {
            console.blank_line();
            console.line(
                "There is no file kind " + std::to_string(n.value) + ": enter a value between " + range + ".", 2);
            console.pause(kContinue);
        } else if (starts_like_a_number(text)) {
            refuse(console, n.reason);
        } else {
            refuse(
                console,
                "\"" + trim(answer) +
                    "\" is not one of the options: enter a value between " + range + ", H for help or Q to quit.");
        }
        show_format_menu(console);
    }
}

// The number of header lines to pass over before a column file's data.
int ask_header_lines(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter number of file header lines to skip", 2);
        console.line("before reading data or columns. If none then", 2);
        console.prompt("enter a zer[0] for none");
        const std::string answer = ask_or_stop(console);
        const NumberAnswer n = parse_integer_answer(answer);
        if (n.kind == NumberAnswer::Kind::Empty) continue;
        if (n.kind == NumberAnswer::Kind::Refused)
            refuse(console, n.reason);
        else if (n.value < 0)
            refuse(console, "The number of header lines cannot be negative.");
        else
            return n.value;
    }
}

// The lines of a file that hold something, numbered, split into free-form items, with two lines
// of look-ahead (a block's last value is told from an identifier by the lines after it).
class ItemLines {
public:
    struct Line {
        int number = 0;
        std::vector<std::string> items;
    };
    ItemLines(std::istream& file, int lines_before) : file_(file), number_(lines_before) {}

    // The line `ahead` places on (0 = the next one); nullptr past the end of the file.
    const Line* peek(std::size_t ahead = 0) {
        std::string text;
        while (ahead_.size() <= ahead) {
            Line l;
            while (l.items.empty()) {
                if (!read_text_line(file_, text)) return nullptr;
                ++number_;
                l.items = freeform_items(text);
            }
            l.number = number_;
            ahead_.push_back(std::move(l));
        }
        return &ahead_[ahead];
    }
    void drop() { ahead_.pop_front(); }
    bool too_long() const { return line_too_long(file_); }
    int lines_read() const { return number_; }

private:
    std::istream& file_;
    int number_;
    std::deque<Line> ahead_;
};

// Number syntax of a free-form item, also for numbers too large to be finite ("1e999"): such an
// item is a value that cannot be used, not the identifier of the next series.
bool number_syntax(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    }
    if (!digits) return false;
    if (i < s.size() && std::strchr("eEdD", s[i])) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        if (i == start) return false;
    }
    return i == s.size();
}

bool integer_form(std::string_view s) { return s.find_first_of(".eEdD") == std::string_view::npos; }

// A ring width in millimetres is finite and below 100 (no decade field could hold more).
constexpr double kLargestWidth = 100.0;

// How a single-column read is going: series read, and identifiers made of digits only that
// were recognised inside the value lines.
struct SingleColumnRead {
    int digit_ids = 0;
};

// Inside a block whose values all carry decimal points, a line of digits only followed by a line
// that reads as a year starts a new series when one of the two cannot be a ring width (100 or
// more): the identifier and first year of the next block, which a value line never is.
bool starts_new_series(ItemLines& lines, std::string_view item) {
    const ItemLines::Line* next = lines.peek(1);
    if (!next || next->items.size() != 1 || !integer_form(next->items[0])) return false;
    const auto year = parse_int(next->items[0]);
    if (!year || *year < kEarliestYear || *year > kLatestYear) return false;
    const auto x = parse_real(item);
    return !x || *x >= kLargestWidth || *year >= kLargestWidth;
}

// The value lines of one single-column block, up to the next identifier or the end of the file.
bool read_single_block(Console& console, ItemLines& lines, const std::string& id, int first_year,
                       std::vector<float>& values, SingleColumnRead& read) {
    bool decimal = true;  // every value so far written with a decimal point
    for (;;) {
        const ItemLines::Line* l = lines.peek();
        if (!l) return true;
        const std::string& item = l->items[0];
        if (!number_syntax(item)) return true;  // the next identifier
        const long long year = static_cast<long long>(first_year) + static_cast<long long>(values.size());
        const std::string at = "Line " + std::to_string(l->number) + ": ";
        if (l->items.size() != 1) {
            console.blank_line();
            console.line(at + "series " + rtrim(id) + " has more than one item where its value for " +
                             std::to_string(year) + " stands (one value per line).",
                         2);
            return false;
        }
        // The same line as the file's last line cannot be told from an identifier whose first
        // year was cut off: it is read as an identifier (and refused for want of its year).
        if (decimal && integer_form(item) && !values.empty() && !lines.peek(1)) return true;
        if (decimal && integer_form(item) && !values.empty() && starts_new_series(lines, item)) {
            if (read.digit_ids++ == 0) {
                console.blank_line();
                console.line("WARNING: " + at + item +
                                 " is taken as the identifier of a new series (first year " +
                                 lines.peek(1)->items[0] + "), not as a ring width of " + rtrim(id) + ".",
                             2);
            }
            return true;
        }
        const auto v = parse_real(item);
        if (!v || !(*v < kLargestWidth)) {
            console.blank_line();
            console.line(at + "the value " + item + " of series " + rtrim(id) + " for " +
                             std::to_string(year) + " is not a ring width in millimetres (" +
                             (v ? "100 or more" : "not a finite number") + ").",
                         2);
            if (integer_form(item))
                console.line("(A series identifier made of digits only must be followed by its first year.)",
                             2);
            return false;
        }
        if (static_cast<int>(values.size()) == kMaxYears) {
            console.blank_line();
            console.line("Series " + rtrim(id) + " has more than " + std::to_string(kMaxYears) +
                             " values, the limit per series.",
                         2);
            return false;
        }
        if (integer_form(item)) decimal = false;
        values.push_back(static_cast<float>(*v));
        lines.drop();
    }
}

}  // namespace

bool rd1col(Console& console, std::istream& file, SeriesTable& table, int lines_before) {
    TableBuilder builder(console);
    ItemLines lines(file, lines_before);
    SingleColumnRead read;
    std::vector<float> values;

    auto error = [&](const char* what, const std::string& id, int line) {
        console.line(what, 2);
        console.line("Series: " + fixed_width(id, 8) + " Number: " + fmt_i(builder.count() + 1, 5), 9);
        console.line(line > lines.lines_read()
                         ? "(the file ends after line " + std::to_string(lines.lines_read()) + ")"
                         : "(line " + std::to_string(line) + " of the file)",
                     9);
        console.pause(" Hit return to continue ");
        return false;
    };

    while (const ItemLines::Line* head = lines.peek()) {
        const int id_line = head->number;
        const std::string item = head->items[0];
        if (has_control_bytes(item)) return error("Rd1col: Error reading series ID", "", id_line);
        const std::string id = fixed_width(item, 8);
        lines.drop();

        const ItemLines::Line* year_line = lines.peek();
        if (!year_line) return error("Rd1col: Error reading series IYR value", id, lines.lines_read() + 1);
        const auto year = year_line->items.size() == 1 && integer_form(year_line->items[0])
                              ? parse_int(year_line->items[0])
                              : std::nullopt;
        if (!year) return error("Rd1col: Error reading series IYR value", id, year_line->number);
        if (*year < kEarliestYear || *year > kLatestYear) {
            console.blank_line();
            console.line("Line " + std::to_string(year_line->number) + ": the first year " +
                             std::to_string(*year) + " of series " + rtrim(id) + " lies outside the years " +
                             std::to_string(kEarliestYear) + " to " + std::to_string(kLatestYear) +
                             " that the program's files hold.",
                         2);
            return false;
        }
        lines.drop();

        values.clear();
        if (!read_single_block(console, lines, id, *year, values, read)) return false;
        if (!builder.add(id, *year, values, id_line)) return false;
    }
    if (lines.too_long()) {
        line_too_long_message(console, lines.lines_read() + 1);
        return false;
    }
    if (builder.count() == 0) {
        no_series(console, lines.lines_read());
        return false;
    }
    if (read.digit_ids > 1) {
        console.blank_line();
        console.line("WARNING: " + std::to_string(read.digit_ids) +
                         " identifiers made of digits only were taken as the starts of new series.",
                     2);
    }
    builder.finish(table);
    return true;
}

namespace {

// The number of columns of a multiple-column file (at least 2: years and one series); a number
// the table cannot hold is refused by the read (read_columns).
int ask_column_count(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter the total number of columns in your file", 2);
        console.text(at_column(2, "[Program assumes Col_1 contains the X values] : "));
        const std::string answer = ask_or_stop(console);
        const NumberAnswer n = parse_integer_answer(answer);
        if (n.kind == NumberAnswer::Kind::Value && n.value >= 2) return n.value;
        if (n.kind == NumberAnswer::Kind::Refused)
            refuse(console, n.reason);
        else
            refuse(console, "The number of columns is a whole number of at least 2 (years and one series).");
    }
}

// Texts compared over 8 characters; a run of asterisks stands for "*".
std::string sentinel_form(std::string_view text) {
    std::string s = fixed_width(text, 8);
    std::string t = trim(s);
    if (!t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c == '*'; }))
        return fixed_width("*", 8);
    return s;
}

// The sentinel as typed (trimmed): any text but blanks. "/" is taken as a sentinel here, not as a
// stop: it is a character a file may be padded with.
std::string ask_sentinel(Console& console) {
    for (;;) {
        console.blank_line();
        console.line("Enter the sentinal value or character used to ", 2);
        console.text(at_column(2, "pad the records [can not be spaces, if ******* enter *] : "));
        const std::string answer = trim(console.ask());
        if (!answer.empty()) return answer;
        console.blank_line();
        console.line("The sentinel can not be blank.", 2);
    }
}

// The year lines of a multiple-column file, read into compact cells as they come (a full-size
// file of text cells would take several times the memory of its numbers): per line its number
// in the file and year (if readable), per cell the value and what it is.
struct ColumnCells {
    enum Kind : std::uint8_t { kSentinel, kValue, kBad };
    std::size_t width = 0;  // series columns
    int naming_line = 0;    // line of the file that names the columns
    std::vector<int> line_numbers;
    std::vector<std::optional<int>> years;
    std::vector<float> values;
    std::vector<std::uint8_t> kinds;
    std::size_t at(std::size_t row, std::size_t column) const { return row * width + column; }
};

bool read_year_lines(Console& console, std::istream& file, int columns, const std::string& sentinel,
                     int& line_number, ColumnCells& cells) {
    std::string line;
    while (read_text_line(file, line, kWideLine)) {
        ++line_number;
        auto items = freeform_items(line);
        if (items.empty()) continue;
        const std::string at = "Line " + std::to_string(line_number);
        if (static_cast<int>(items.size()) < columns) {
            console.blank_line();
            console.line(at + " holds " + std::to_string(items.size()) + " items for " +
                             std::to_string(columns) + " columns.",
                         2);
            return false;
        }
        if (static_cast<int>(cells.years.size()) == kMaxYears) {
            console.blank_line();
            console.line("The file holds more than " + std::to_string(kMaxYears) +
                             " year lines, the limit (" + at + " is one too many).",
                         2);
            return false;
        }
        if (static_cast<int>(items.size()) > columns) {
            // One item too many anywhere on the line would move the values after it into the
            // neighbouring series.
            console.blank_line();
            console.line(at + " holds " + std::to_string(items.size()) + " items for " +
                             std::to_string(columns) + " columns.",
                         2);
            return false;
        }
        cells.line_numbers.push_back(line_number);
        cells.years.push_back(integer_form(items[0]) ? parse_int(items[0]) : std::nullopt);
        for (std::size_t k = 1; k <= cells.width; ++k) {
            const std::string& text = items[k];
            const bool padding = sentinel_form(text) == sentinel;
            const auto v = padding ? std::nullopt : parse_real(text);
            cells.values.push_back(v ? static_cast<float>(*v) : 0.0f);
            cells.kinds.push_back(padding                   ? ColumnCells::kSentinel
                                  : v && *v < kLargestWidth ? ColumnCells::kValue
                                                            : ColumnCells::kBad);
        }
    }
    if (line_too_long(file)) {
        line_too_long_message(console, line_number + 1);
        return false;
    }
    return true;
}

// One series column: its values, its first year and the line of the file that holds it.
struct ColumnSeries {
    std::vector<float> values;
    int first_year = 0;
    int first_line = 0;
};

// The values of series column k (0-based among the series columns); false after a message.
bool column_series(Console& console, const ColumnCells& cells, std::size_t k, const std::string& id,
                   ColumnSeries& series) {
    series.values.clear();
    std::optional<std::size_t> gap;  // a sentinel line met after the first value
    for (std::size_t r = 0; r < cells.years.size(); ++r) {
        const std::size_t cell = cells.at(r, k);
        const std::string at = "(line " + std::to_string(cells.line_numbers[r]) + ", series " + rtrim(id);
        if (cells.kinds[cell] == ColumnCells::kSentinel) {
            if (!series.values.empty() && !gap) gap = r;
            continue;
        }
        const auto& year = cells.years[r];
        if (cells.kinds[cell] == ColumnCells::kBad) {
            console.blank_line();
            console.line("Error reading y values check sentinel if ******* enter *", 2);
            console.line(
                at + (year ? ", year " + std::to_string(*year) : std::string()) +
                    ": not a number, or not a ring width in millimetres: not finite, or 100 or more)",
                2);
            return false;
        }
        if (!year || *year < kEarliestYear || *year > kLatestYear) {
            console.blank_line();
            console.line("Error reading time steps", 2);
            console.line(at + ": the year is not a whole number from " + std::to_string(kEarliestYear) +
                             " to " + std::to_string(kLatestYear) + ")",
                         2);
            return false;
        }
        if (gap) {
            // A sentinel between two values would move every later value to a wrong year.
            console.blank_line();
            const auto& gap_year = cells.years[*gap];
            console.line("Series " + rtrim(id) + " has a gap: the sentinel stands inside the series (line " +
                             std::to_string(cells.line_numbers[*gap]) +
                             (gap_year ? ", year " + std::to_string(*gap_year) : std::string()) + ").",
                         2);
            console.line("Fill the gap first; this program cannot bridge it.", 2);
            return false;
        }
        if (series.values.empty()) {
            series.first_year = *year;
            series.first_line = cells.line_numbers[r];
        } else if (const int due = series.first_year + static_cast<int>(series.values.size()); *year != due) {
            console.blank_line();
            console.line("Series " + rtrim(id) + ": the year lines do not follow each other (line " +
                             std::to_string(cells.line_numbers[r]) + " holds the year " +
                             std::to_string(*year) + " where " + std::to_string(due) + " was due).",
                         2);
            return false;
        }
        series.values.push_back(cells.values[cell]);
    }
    if (series.values.empty()) {
        console.blank_line();
        console.line("Series " + rtrim(id) + " (column " + std::to_string(k + 2) +
                         " of the naming line, line " + std::to_string(cells.naming_line) +
                         ") has no values (only the sentinel).",
                     2);
        return false;
    }
    return true;
}

// The naming line: the first line that holds anything, one name per column. Empty (message
// printed) when it holds another number of names or is not text.
std::vector<std::string> read_naming_line(Console& console, std::istream& file, int columns,
                                          int& line_number) {
    std::string line;
    std::vector<std::string> names;
    while (read_text_line(file, line, kWideLine)) {
        ++line_number;
        names = freeform_items(line);
        if (!names.empty()) break;
    }
    if (static_cast<int>(names.size()) != columns) {
        console.blank_line();
        if (line_too_long(file))
            line_too_long_message(console, line_number + 1);
        else
            console.line("The naming line (line " + std::to_string(line_number) + ") holds " +
                             std::to_string(names.size()) + " names for " + std::to_string(columns) +
                             " columns.",
                         2);
        return {};
    }
    if (std::any_of(names.begin(), names.end(), [](const std::string& n) { return has_control_bytes(n); })) {
        console.blank_line();
        console.line("The naming line of the file (line " + std::to_string(line_number) +
                         ") is not text: the file cannot be read as columns.",
                     2);
        return {};
    }
    return names;
}

bool read_columns(Console& console, std::istream& file, int columns, const std::string& sentinel,
                  SeriesTable& table, int lines_before) {
    if (columns - 1 > kMaxSeries) {
        console.blank_line();
        console.line("A file of " + std::to_string(columns) + " columns holds more than " +
                         std::to_string(kMaxSeries) + " series, the limit.",
                     2);
        return false;
    }
    int line_number = lines_before;
    const std::vector<std::string> names = read_naming_line(console, file, columns, line_number);
    if (names.empty()) return false;

    ColumnCells cells;
    cells.width = static_cast<std::size_t>(columns - 1);
    cells.naming_line = line_number;
    if (!read_year_lines(console, file, columns, sentinel, line_number, cells)) return false;

    TableBuilder builder(console);
    ColumnSeries series;
    for (int k = 1; k < columns; ++k) {
        const std::string id = fixed_width(names[static_cast<std::size_t>(k)], 8);
        if (!column_series(console, cells, static_cast<std::size_t>(k - 1), id, series)) return false;
        if (!builder.add(id, series.first_year, series.values, series.first_line)) return false;
    }
    builder.finish(table);
    return true;
}

}  // namespace

bool rdmcol(Console& console, std::istream& file, SeriesTable& table, int lines_before) {
    const int columns = ask_column_count(console);
    const std::string sentinel = columns - 1 <= kMaxSeries ? ask_sentinel(console) : std::string("*");
    return read_columns(console, file, columns, sentinel_form(sentinel), table, lines_before);
}

LoadSettings ask_load_settings(Console& console, std::istream& file) {
    for (;;) {
        LoadSettings s;
        const int kind = ask_file_kind(console);
        if (kind == 0) {
            // The help pages through the file and leaves it at its start.
            rewind(file);
            dathlp(console, file);
            continue;
        }
        s.kind = static_cast<FileKind>(kind);
        if (takes_header_lines(s.kind)) s.header_lines = ask_header_lines(console);
        if (s.kind == FileKind::MultipleColumns) {
            s.columns = ask_column_count(console);
            // Too many columns: the read refuses them (with its message) before the sentinel.
            if (s.columns - 1 <= kMaxSeries) s.sentinel = ask_sentinel(console);
        }
        return s;
    }
}

namespace {

// The exchange formats: read into series, then into the table with names of 8 characters.
bool read_exchange(Console& console, std::istream& file, FileKind kind, const LoadSettings& settings,
                   int lines_before, SeriesTable& table, LoadNotes& notes) {
    std::vector<InputSeries> series;
    bool ok = false;
    switch (kind) {
        case FileKind::Csv: ok = read_csv(console, file, settings.unit_parts, lines_before, series); break;
        case FileKind::Heidelberg: ok = read_heidelberg(console, file, series); break;
        case FileKind::Compact: ok = read_compact(console, file, series); break;
        case FileKind::Tridas: ok = read_tridas(console, file, series); break;
        default: break;
    }
    return ok && build_series_table(console, series, table, notes);
}

// True when the whole file reads as Tucson decade lines of one kind (nothing is shown).
bool reads_as_tucson(std::istream& file, bool rings) {
    std::istringstream none;
    std::ostringstream sink;
    Console quiet(none, sink);
    SeriesTable t;
    std::array<std::string, 3> h;
    rewind(file);
    skip_byte_order_mark(file);
    const bool ok = load_tucson(quiet, file, rings, t, h);
    rewind(file);
    return ok;
}

}  // namespace

bool takes_header_lines(FileKind kind) {
    return kind == FileKind::SingleColumn || kind == FileKind::MultipleColumns || kind == FileKind::Csv;
}

std::string file_kind_title(FileKind kind) {
    switch (kind) {
        case FileKind::RingWidths: return "Tucson ring widths";
        case FileKind::Chronologies: return "Tucson chronologies";
        case FileKind::SingleColumn: return "single column";
        case FileKind::MultipleColumns: return "multiple columns";
        case FileKind::Csv: return "CSV table";
        case FileKind::Heidelberg: return "Heidelberg file";
        case FileKind::Compact: return "compact format";
        case FileKind::Tridas: return "TRiDaS document";
        case FileKind::Recognised: break;
    }
    return "not recognised";
}

FileKind recognise_kind(std::istream& file, std::string& reason) {
    rewind(file);
    skip_byte_order_mark(file);
    std::string start(64 * 1024, '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(file.gcount()));
    rewind(file);
    if (looks_like_tridas(start)) {
        reason = "an XML document that names TRiDaS";
        return FileKind::Tridas;
    }
    std::istringstream lines(start);
    std::string line;
    int number = 0, shown = 0;
    while (read_text_line(lines, line) && shown < 20) {
        ++number;
        if (all_blank(line)) continue;
        if (is_heidelberg_header(line)) {
            reason = "line " + std::to_string(number) + " is HEADER:";
            return FileKind::Heidelberg;
        }
        if (shown++ > 0) continue;
        if (parse_compact_header(line)) {
            reason = "line " + std::to_string(number) + " is a header line of the compact format";
            return FileKind::Compact;
        }
        if (looks_like_csv_header(line)) {
            reason = "line " + std::to_string(number) + " is a header row that begins with the year column";
            return FileKind::Csv;
        }
    }
    const bool rings = reads_as_tucson(file, true);
    const bool chronologies = reads_as_tucson(file, false);
    if (rings != chronologies) {
        reason = std::string("the whole file reads as Tucson decade lines of ") +
                 (rings ? "ring widths" : "chronologies") + " and not as the other kind";
        return rings ? FileKind::RingWidths : FileKind::Chronologies;
    }
    reason = rings ? "it reads as Tucson ring widths and as Tucson chronologies alike"
                   : "it is neither a CSV table, Heidelberg, compact, TRiDaS nor a Tucson file that "
                     "reads without a fault";
    return FileKind::Recognised;
}

bool build_series_table(Console& console, std::vector<InputSeries>& series, SeriesTable& table,
                        LoadNotes& notes) {
    std::vector<std::string> names;
    names.reserve(series.size());
    for (const InputSeries& s : series) names.push_back(s.name);
    const std::vector<std::string> shorts = short_names(names);
    TableBuilder builder(console);
    for (std::size_t i = 0; i < series.size(); ++i) {
        if (shorts[i] != names[i]) notes.renamed.emplace_back(printable(names[i]), printable(shorts[i]));
        if (!builder.add(shorts[i], series[i].first_year, series[i].values, series[i].line)) return false;
    }
    builder.finish(table);
    return true;
}

bool read_data(Console& console, std::istream& file, const LoadSettings& settings, SeriesTable& table,
               std::array<std::string, 3>& header, LoadNotes* notes) {
    LoadNotes local;
    LoadNotes& found = notes ? *notes : local;
    found = {};
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    FileKind kind = settings.kind;
    if (kind == FileKind::Recognised) {
        std::string reason;
        kind = recognise_kind(file, reason);
        console.blank_line();
        if (kind == FileKind::Recognised) {
            console.line("The format of the data file is not recognised: " + reason + ".", 2);
            console.line("Choose its kind from the menu (single and multiple columns are never recognised).", 2);
            not_read(console);
            return false;
        }
        found.recognised = file_kind_title(kind);
        console.line("Format recognised: " + found.recognised + " (" + reason + ").", 2);
    }
    // Every try reads the file from its start, whatever an earlier try or the help did.
    rewind(file);
    skip_byte_order_mark(file);
    if (kind == FileKind::RingWidths || kind == FileKind::Chronologies)
        return load_tucson(console, file, kind == FileKind::RingWidths, table, header);
    int skipped = 0;
    std::string discard;
    // A recognised table is read from its first line: its header row was found there.
    const int skip = settings.kind == FileKind::Recognised ? 0 : settings.header_lines;
    while (takes_header_lines(kind) && skipped < skip && read_text_line(file, discard)) ++skipped;
    bool ok = false;
    if (kind == FileKind::SingleColumn)
        ok = rd1col(console, file, table, skipped);
    else if (kind == FileKind::MultipleColumns)
        ok = read_columns(console, file, settings.columns, sentinel_form(settings.sentinel), table, skipped);
    else
        ok = read_exchange(console, file, kind, settings, skipped, table, found);
    if (ok) {
        const std::vector<std::string> renamed = renamed_lines(found);
        if (!renamed.empty()) console.blank_line();
        for (const std::string& l : renamed) console.line(l, 2);
        console.blank_line();
        console.line("Input data read successfully", 2);
        return true;
    }
    clear_table(table);
    not_read(console);
    return false;
}

bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header,
             LoadSettings* chosen) {
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    const LoadSettings settings = ask_load_settings(console, file);
    if (chosen) *chosen = settings;
    return read_data(console, file, settings, table, header);
}

void dathlp(Console& console, std::istream& file) {
    console.blank_line();
    console.line("Select a file type to see an example.", 2);
    for (;;) {
        console.blank_line();
        print_lines(console, {
                                 "_____   Input Format Help Menu    _____",
                                 "Raw ring-widths (mm-decade)          [1] ",
                                 "Chronologies (index-decade)          [2] ",
                                 "Single Column                        [3]",
                                 "Multiple Columns                     [4]",
                                 "Enter zero when finished             [0]",
                                 "Enter H for further help",
                                 "________________________________________",
                             });
        console.text(at_column(2, "Enter a value between  [0-4]       : "));
        const std::string answer = ask_or_stop(console);
        char c = first_char(answer);
        if (c == ' ') c = '0';
        if (c < '0' || c > '9') {
            snoop(console, file);
            continue;
        }
        switch (c) {
            case '0': return;
            case '1': example_ring_widths(console); break;
            case '2': example_chronologies(console); break;
            case '3': example_single_column(console); break;
            case '4': example_multiple_columns(console); break;
            default:
                console.blank_line();
                console.line("You must enter a value between 0 and 4", 2);
                console.blank_line();
                break;
        }
    }
}

// The viewer's answers: the first character counts; "/" stops the program.
char viewer_answer(Console& console) { return first_char(ask_or_stop(console)); }

void snoop(Console& console, std::istream& file) {
    console.blank_line();
    console.line(std::string("snooping in the data file ") + "(first 100 characters/line):", 2);
    console.line(ruler());
    for (;;) {
        rewind(file);
        skip_byte_order_mark(file);
        int count = 0;
        char answer = ' ';
        std::deque<std::pair<int, std::string>> last;
        std::string line;
        while (read_text_line(file, line, 100)) {
            ++count;
            last.emplace_back(count, line);
            if (last.size() > 5) last.pop_front();
            if (answer == 'e' || answer == 'E') continue;
            console.line(shown_line(count, line));
            if (count % 5 == 0) {
                console.blank_line();
                console.text(at_column(
                    2, std::string("more <ret>, read to end <e>, ") + "return to main program <m> "));
                answer = viewer_answer(console);
                if (answer == 'm' || answer == 'M') {
                    rewind(file);
                    end_of_snoop(console, count);
                    return;
                }
                if (answer != 'e' && answer != 'E') console.line(ruler());
            }
        }
        if (answer == 'e' || answer == 'E') {
            console.blank_line();
            console.line("last 5 lines in file (first 80 characters):", 2);
            console.line(ruler());
            for (const auto& [n, text] : last) console.line(shown_line(n, text));
        }
        rewind(file);
        end_of_snoop(console, count);
        console.blank_line();
        console.text(at_column(2, "more <ret> or return to main program <m> "));
        const char again = viewer_answer(console);
        if (again == 'm' || again == 'M') return;
    }
}

}  // namespace kestrovan
