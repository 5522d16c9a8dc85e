#include <initializer_list>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "console/ask.hpp"
#include "console/console.hpp"
#include "io/loaders.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

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
        trrw(lines, "iw",
             {.id = "tst1a.",
              .first_year = 1950,
              .values = std::span<const float>(c == 0 ? raw : std_, std::size(raw)),
              .samples = samples,
              .label = code[c]},
             state, console);
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

}  // namespace

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

}  // namespace kestrovan
