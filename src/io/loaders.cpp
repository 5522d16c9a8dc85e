#include "io/loaders.hpp"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <sstream>
#include <vector>

#include "console/console.hpp"
#include "console/format.hpp"
#include "console/freeform.hpp"
#include "console/stop.hpp"
#include "io/tucson.hpp"

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

    // False (message printed) when the series would pass a limit of the table.
    bool add(std::string_view id, int first_year, std::span<const float> values) {
        const std::string name = rtrim(id);
        if (count() >= kMaxSeries) {
            console_.blank_line();
            console_.line("The file holds more than " + std::to_string(kMaxSeries) +
                              " series, the limit: series " + name + " would be number " +
                              std::to_string(kMaxSeries + 1) + ".",
                          2);
            return false;
        }
        const int n = static_cast<int>(values.size());
        if (n > kMaxYears) {
            console_.blank_line();
            console_.line("Series " + name + " has " + std::to_string(n) + " values, more than " +
                              std::to_string(kMaxYears) + ", the limit per series.",
                          2);
            return false;
        }
        const long long last = static_cast<long long>(first_year) + n - 1;
        // The first series sets the summary's years: starting from 9999 and -9999 would leave
        // them there for series outside the four-digit years (the narrow layouts reach -99999).
        const long long earliest = count() == 0 ? first_year : std::min<long long>(earliest_, first_year);
        const long long latest = count() == 0 ? last : std::max<long long>(latest_, last);
        if (latest - earliest + 1 > kMaxYears) {
            console_.blank_line();
            console_.line("Series " + name + " (" + std::to_string(first_year) + " to " + std::to_string(last) +
                              ") makes the data span " + std::to_string(latest - earliest + 1) +
                              " years (" + std::to_string(earliest) + " to " + std::to_string(latest) +
                              "), more than " + std::to_string(kMaxYears) + ", the limit.",
                          2);
            return false;
        }
        earliest_ = static_cast<int>(earliest);
        latest_ = static_cast<int>(latest);
        ids_.push_back(fixed_width(id, 8));
        years_.push_back({first_year, static_cast<int>(last), n});
        values_.emplace_back(values.begin(), values.end());
        longest_ = std::max(longest_, n);
        total_values_ += n;
        return true;
    }

    // Moves the series into the table and writes the summary slot.
    void finish(SeriesTable& table) {
        const int ns = count();
        table.data.resize(0, 0);
        table.data.resize(std::max(longest_, 1), ns);
        for (int s = 0; s < ns; ++s) {
            auto col = table.data.column(s);
            std::copy(values_[static_cast<std::size_t>(s)].begin(), values_[static_cast<std::size_t>(s)].end(),
                      col.begin());
        }
        table.years = std::move(years_);
        table.ids = std::move(ids_);
        table.summary = {earliest_, latest_, latest_ - earliest_ + 1};
    }

private:
    Console& console_;
    std::vector<std::string> ids_;
    std::vector<YearSpan> years_;
    std::vector<std::vector<float>> values_;
    int earliest_ = 9999;
    int latest_ = -9999;
    int longest_ = 0;
    long long total_values_ = 0;
};

void clear_table(SeriesTable& table) {
    table.data.resize(0, 0);
    table.years.clear();
    table.ids.clear();
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

void no_series(Console& console) {
    console.blank_line();
    console.line("No series could be read from the data file: check the file and its kind.", 2);
}

// Reads a whole number typed at a question; an empty line is read past, as a free-form read does.
std::optional<int> ask_whole_number(Console& console) {
    for (;;) {
        auto items = freeform_items(console.ask());
        if (items.empty()) continue;
        return parse_int(items[0]);
    }
}

bool has_control_bytes(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// Ring widths (mode "mr") or chronologies (mode "ir") read series by series.
bool load_tucson(Console& console, std::istream& file, bool rings, SeriesTable& table,
                 std::array<std::string, 3>& header) {
    TableBuilder builder(console);
    TucsonReadState state;
    TucsonSeries series;
    static constexpr const char* kMissingLine[3] = {"1st itrdb line missing", "2nd itrdb line missing",
                                                    "3rd itrdb line missing"};
    while (state.counter != kEndOfFile) {
        trrw(file, rings ? "mr" : "ir", series, state, console);
        if (rings) {
            for (std::size_t k = 0; k < 3; ++k) {
                std::string& h = state.header[k];
                if (all_of(h.begin(), h.begin() + 6, [](char c) { return c == ' '; })) {
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
        // A ring-width series without values, or a call that met no data line at all (more
        // than 25 lines that are not data), means the file is not what the user said it is.
        if ((rings && series.count < 1) || (series.count < 1 && state.data_lines == 0)) {
            console.blank_line();
            console.line("WARNING: Fatal error reading data from input file.", 2);
            console.line("         Suggest checking file format and/or file type", 2);
            console.line("         Unix/Dos/Mac?", 2);
            console.pause(" Hit Return to Continue");
            return false;
        }
        if (!builder.add(series.id, series.first_year,
                         std::span<const float>(series.values.data(), static_cast<std::size_t>(series.count)))) {
            not_read(console);
            return false;
        }
    }
    if (builder.values() == 0) {
        no_series(console);
        not_read(console);
        return false;
    }
    builder.finish(table);
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
    const float raw[] = {0.356f, 0.439f, 0.276f, 0.132f, 0.424f, 0.423f, 0.258f, 0.295f, 0.379f, 0.382f,
                         0.341f, 0.298f, 0.402f, 0.367f, 0.311f, 0.284f, 0.329f, 0.356f, 0.318f, 0.297f,
                         0.305f, 0.342f, 0.288f, 0.263f, 0.317f, 0.351f, 0.296f, 0.274f, 0.309f, 0.322f,
                         0.287f, 0.265f, 0.301f, 0.279f, 0.248f, 0.266f, 0.291f, 0.257f, 0.238f, 0.262f,
                         0.244f, 0.259f, 0.231f, 0.226f, 0.249f, 0.218f, 0.207f, 0.229f, 0.213f, 0.198f,
                         0.204f, 0.191f, 0.217f, 0.186f};
    const float std_[] = {1.012f, 1.203f, 0.843f, 0.515f, 1.157f, 1.091f, 0.903f, 0.986f, 1.112f, 1.071f,
                          0.988f, 0.901f, 1.087f, 1.024f, 0.935f, 0.886f, 0.965f, 1.009f, 0.948f, 0.915f,
                          0.946f, 1.022f, 0.916f, 0.881f, 0.976f, 1.034f, 0.933f, 0.902f, 0.957f, 0.982f,
                          0.941f, 0.902f, 0.983f, 0.947f, 0.893f, 0.931f, 0.986f, 0.925f, 0.888f, 0.941f,
                          0.917f, 0.956f, 0.894f, 0.889f, 0.948f, 0.875f, 0.852f, 0.921f, 0.884f, 0.846f,
                          0.893f, 0.856f, 0.957f, 0.864f};
    std::vector<int> samples;
    for (int y = 1950; y <= 2003; ++y) samples.push_back(y < 1980 ? 38 : y < 1990 ? 37 : y < 1996 ? 36 : y < 2000 ? 35 : y < 2002 ? 34 : 33);
    const char* const code[2] = {"raw", "std"};
    const char* const ordinal[3] = {"1st", "2nd", "3rd"};
    console.line("chronology - index format", 2);
    console.line("Example:", 2);
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 3; ++k)
            console.line(fixed_width("tst1a.raw -- no data title --", 58) + ordinal[k] + " itrdb line missing  " +
                             code[c],
                         2);
        std::ostringstream lines;
        TucsonWriteState state;
        trrw(lines, "iw", "tst1a.", 1950, std::span<const float>(c == 0 ? raw : std_, std::size(raw)), samples,
             code[c], state, console);
        std::istringstream in(lines.str());
        std::string l;
        while (std::getline(in, l)) console.line(rtrim(l), 2);
    }
    console.line("und so veite, und so veite, ... ", 2);
    console.pause(" <Hit Return to continue>");
}

void example_single_column(Console& console) {
    print_lines(console, {
        "Single Column",
        "Example:",
        "abscdef",
        "1771",
        "0.1",
        "0.2",
        "0.3",
        "...",
        "..",
        "bbscdef",
        "1772",
        "0.4",
        "0.5",
        "0.6",
        "...",
        "..",
        "cbscdef",
        "1773",
        "0.7",
        "0.8",
        "0.9",
        "...",
        "..",
        "und so veite, und so veite, ... ",
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

std::string ruler() {
    return at_column(6, std::string(".........1.........2.........3.........4.....") +
                            "....5.........6.........7.........8.........9.........10");
}

// A file line as the viewer shows it: number in columns 2-4, the text from column 6.
std::string shown_line(int number, std::string_view text) {
    std::string t(text.substr(0, std::min<std::size_t>(text.size(), 100)));
    for (char& c : t) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\t') c = ' ';
        else if (u < 0x20 || u == 0x7f) c = '?';
    }
    return " " + fmt_i(number, 3) + " " + rtrim(t);
}

void end_of_snoop(Console& console, int lines) {
    console.blank_line();
    console.line("end-of-snoop: " + fmt_i(lines, 5) + " lines read", 2);
}

}  // namespace

bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header) {
    clear_table(table);
    for (auto& h : header) h.assign(88, ' ');
    for (;;) {
        console.blank_line();
        console.line("__ Input Data Format Menu __", 19);
        console.line("_____________________________", 19);
        console.blank_line();
        console.line("Raw ring-widths (Decade)  [1]", 19);
        console.line("Chronologies (Index)      [2]", 19);
        console.line("Single Column             [3]", 19);
        console.line("Multiple Columns          [4]", 19);
        console.line("Enter zer0 for HELP       [0]", 19);
        console.line("_____________________________", 19);
        console.blank_line();
        console.prompt("Enter a value between [0-4] or [Q]uit");
        auto choice = ask_whole_number(console);
        if (!choice) throw ProgramStop(StopKind::Normal);   // Q or any text: the user quits

        if (*choice >= 3) {
            std::optional<int> skip;
            while (!skip) {
                console.blank_line();
                console.line("Enter number of file header lines to skip", 2);
                console.line("before reading data or columns. If none then", 2);
                console.prompt("enter a zer[0] for none");
                skip = ask_whole_number(console);
            }
            std::string discard;
            for (int i = 0; i < *skip; ++i)
                if (!read_text_line(file, discard)) break;
        }

        switch (*choice) {
        case 0:
            dathlp(console, file);
            continue;
        case 1:
        case 2:
            return load_tucson(console, file, *choice == 1, table, header);
        case 3:
        case 4: {
            bool ok = *choice == 3 ? rd1col(console, file, table) : rdmcol(console, file, table);
            if (ok) {
                console.blank_line();
                console.line("Input data read successfully", 2);
                return true;
            }
            clear_table(table);
            not_read(console);
            return false;
        }
        default:
            console.blank_line();
            console.line("There is no file kind " + std::to_string(*choice) + ": enter a value between 0 and 4.", 2);
            console.pause(kContinue);
            continue;
        }
    }
}

bool rd1col(Console& console, std::istream& file, SeriesTable& table) {
    TableBuilder builder(console);
    std::string line;
    std::vector<float> values;

    auto error = [&](const char* what, const std::string& id) {
        console.line(what, 2);
        console.line("Series: " + fixed_width(id, 8) + " Number: " + fmt_i(builder.count() + 1, 5), 9);
        console.pause(" Hit return to continue ");
        return false;
    };
    // The next line holding something; false at the end of the file.
    auto next_item_line = [&]() {
        while (read_text_line(file, line))
            if (!freeform_items(line).empty()) return true;
        return false;
    };

    for (;;) {
        if (!next_item_line()) break;
        std::string item = freeform_items(line)[0];
        if (has_control_bytes(item)) return error("Rd1col: Error reading series ID", "");
        std::string id = fixed_width(item, 8);

        if (!next_item_line()) return error("Rd1col: Error reading series IYR value", id);
        auto year = parse_int(freeform_items(line)[0]);
        if (!year) return error("Rd1col: Error reading series IYR value", id);

        values.clear();
        for (;;) {
            std::streampos where = file.tellg();
            if (!read_text_line(file, line)) break;
            auto items = freeform_items(line);
            if (items.empty()) continue;
            auto v = parse_real(items[0]);
            if (!v) {
                // The line that ends the block is the next identifier: read it again.
                file.clear();
                file.seekg(where);
                break;
            }
            if (static_cast<int>(values.size()) == kMaxYears) {
                console.blank_line();
                console.line("Series " + rtrim(id) + " has more than " + std::to_string(kMaxYears) +
                                 " values, the limit per series.",
                             2);
                return false;
            }
            values.push_back(static_cast<float>(*v));
        }
        if (values.empty()) {
            // A block without values is a sign of another kind of file; a series of no years
            // would upset every later stage.
            console.blank_line();
            console.line("Series " + rtrim(id) + " (first year " + std::to_string(*year) + ") has no values.", 2);
            return false;
        }
        if (!builder.add(id, *year, values)) return false;
    }
    if (builder.count() == 0) {
        no_series(console);
        return false;
    }
    builder.finish(table);
    return true;
}

bool rdmcol(Console& console, std::istream& file, SeriesTable& table) {
    int columns = 0;
    for (;;) {
        console.blank_line();
        console.line("Enter the total number of columns in your file", 2);
        console.text(at_column(2, "[Program assumes Col_1 contains the X values] : "));
        std::string answer = console.ask();
        auto c = int_field(fixed_width(answer, 4));
        if (c && *c >= 2) {
            if (*c - 1 > kMaxSeries) {
                console.blank_line();
                console.line("A file of " + std::to_string(*c) + " columns holds more than " +
                                 std::to_string(kMaxSeries) + " series, the limit.",
                             2);
                return false;
            }
            columns = static_cast<int>(*c);
            break;
        }
        console.blank_line();
        console.line("The number of columns is a whole number of at least 2 (years and one series).", 2);
    }

    // Texts compared over 8 characters; a run of asterisks stands for "*".
    auto sentinel_form = [](std::string_view text) {
        std::string s = fixed_width(text, 8);
        std::string t = trim(s);
        if (!t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c == '*'; })) return fixed_width("*", 8);
        return s;
    };
    std::string sentinel;
    for (;;) {
        console.blank_line();
        console.line("Enter the sentinal value or character used to ", 2);
        console.text(at_column(2, "pad the records [can not be spaces, if ******* enter *] : "));
        std::string answer = trim(console.ask());
        if (!answer.empty()) {
            sentinel = sentinel_form(answer);
            break;
        }
        console.blank_line();
        console.line("The sentinel can not be blank.", 2);
    }

    std::string line;
    std::vector<std::string> names;
    while (read_text_line(file, line, kWideLine)) {
        names = freeform_items(line);
        if (!names.empty()) break;
    }
    if (static_cast<int>(names.size()) < columns) {
        console.blank_line();
        console.line("The naming line holds " + std::to_string(names.size()) + " names for " +
                         std::to_string(columns) + " columns.",
                     2);
        return false;
    }

    if (std::any_of(names.begin(), names.begin() + columns, [](const std::string& n) { return has_control_bytes(n); })) {
        console.blank_line();
        console.line("The naming line of the file is not text: the file cannot be read as columns.", 2);
        return false;
    }

    // The year lines, read into compact cells as they come (a full-size file of text cells would
    // take several times the memory of its numbers): per line the year (if readable), per cell the
    // value and whether it is the sentinel, a number or unreadable. Messages about the cells come
    // after the whole file is read, column by column, as before.
    enum CellKind : std::uint8_t { kSentinelCell, kValueCell, kBadCell };
    const std::size_t ncells = static_cast<std::size_t>(columns - 1);
    std::vector<std::optional<int>> row_years;
    std::vector<float> cell_values;
    std::vector<std::uint8_t> cell_kinds;
    int line_number = 0;
    bool warned_extra = false;
    while (read_text_line(file, line, kWideLine)) {
        ++line_number;
        auto items = freeform_items(line);
        if (items.empty()) continue;
        if (static_cast<int>(items.size()) < columns) {
            console.blank_line();
            console.line("Year line " + std::to_string(line_number) + " after the naming line holds " +
                             std::to_string(items.size()) + " items for " + std::to_string(columns) + " columns.",
                         2);
            return false;
        }
        if (static_cast<int>(row_years.size()) == kMaxYears) {
            console.blank_line();
            console.line("The file holds more than " + std::to_string(kMaxYears) + " year lines, the limit.", 2);
            return false;
        }
        if (static_cast<int>(items.size()) > columns && !warned_extra) {
            warned_extra = true;
            console.blank_line();
            console.line("WARNING: year line " + std::to_string(line_number) + " holds " + std::to_string(items.size()) +
                             " items; only the first " + std::to_string(columns) + " columns are read.",
                         2);
        }
        row_years.push_back(parse_int(items[0]));
        for (std::size_t k = 1; k <= ncells; ++k) {
            const std::string& text = items[k];
            if (sentinel_form(text) == sentinel) {
                cell_values.push_back(0.0f);
                cell_kinds.push_back(kSentinelCell);
            } else if (auto v = parse_real(text)) {
                cell_values.push_back(static_cast<float>(*v));
                cell_kinds.push_back(kValueCell);
            } else {
                cell_values.push_back(0.0f);
                cell_kinds.push_back(kBadCell);
            }
        }
    }

    TableBuilder builder(console);
    std::vector<float> values;
    for (int k = 1; k < columns; ++k) {
        const std::string id = fixed_width(names[static_cast<std::size_t>(k)], 8);
        values.clear();
        int first_year = 0;
        std::optional<std::size_t> gap;   // a sentinel line met after the first value
        for (std::size_t r = 0; r < row_years.size(); ++r) {
            const std::size_t cell = r * ncells + static_cast<std::size_t>(k - 1);
            if (cell_kinds[cell] == kSentinelCell) {
                if (!values.empty() && !gap) gap = r;
                continue;
            }
            if (cell_kinds[cell] == kBadCell) {
                console.blank_line();
                console.line("Error reading y values check sentinel if ******* enter *", 2);
                return false;
            }
            const auto& year = row_years[r];
            if (!year) {
                console.blank_line();
                console.line("Error reading time steps", 2);
                return false;
            }
            if (gap) {
                // A sentinel between two values would move every later value to a wrong year.
                console.blank_line();
                const auto& gap_year = row_years[*gap];
                console.line("Series " + rtrim(id) + " has a gap: the sentinel stands inside the series" +
                                 (gap_year ? " (year " + std::to_string(*gap_year) + ")." : std::string(".")),
                             2);
                console.line("Fill the gap first; this program cannot bridge it.", 2);
                return false;
            }
            if (values.empty()) {
                first_year = *year;
            } else if (*year != first_year + static_cast<int>(values.size())) {
                console.blank_line();
                console.line("Series " + rtrim(id) + ": the year lines do not follow each other (year " +
                                 std::to_string(*year) + " where " +
                                 std::to_string(first_year + static_cast<int>(values.size())) + " was due).",
                             2);
                return false;
            }
            values.push_back(cell_values[cell]);
        }
        if (values.empty()) {
            console.blank_line();
            console.line("Series " + rtrim(id) + " has no values (only the sentinel).", 2);
            return false;
        }
        if (!builder.add(id, first_year, values)) return false;
    }
    builder.finish(table);
    return true;
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
        char c = first_char(console.ask());
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

void snoop(Console& console, std::istream& file) {
    rewind(file);
    console.blank_line();
    console.line(std::string("snooping in the data file ") + "(first 100 characters/line):", 2);
    console.line(ruler());
    for (;;) {
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
                console.text(at_column(2, std::string("more <ret>, read to end <e>, ") + "return to main program <m> "));
                answer = first_char(console.ask());
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
        char again = first_char(console.ask());
        if (again == 'm' || again == 'M') return;
    }
}

}  // namespace kestrovan
