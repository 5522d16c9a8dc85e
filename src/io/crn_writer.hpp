#pragma once
// One chronology per file in the chronology layout of the tree-ring data bank (".crn"), which
// chronology readers take without knowing this program: three header records, then one record
// per decade.
//
//   header records  columns 1-6 the site code, column 7 blank, columns 8-11 the record's name
//                   ("Site", "Info", "Data"), text from column 13: the site's name, what the data
//                   file says of its species and source, and the chronology with its years.
//                   Columns 7-10 never hold a number, so no reader takes a header for a decade.
//   decade records  columns 1-6 the site code, columns 7-10 the decade's first year (a multiple
//                   of 10, right-aligned; the decade of a negative year runs from its multiple of
//                   10 below, -20 to -11), then ten pairs in columns 11-80: the index x 1000 (4
//                   columns, rounded) and the sample depth (3 columns) of each year. A year
//                   without a value, and the slots before the first and after the last year,
//                   hold 9990 with depth 0. 80 columns, nothing after them.
#include <array>
#include <span>
#include <string>
#include <string_view>

namespace kestrovan {

// The site code of a run's .crn files: the first six columns of the data file's first header
// line when that line follows the data bank layout (a code of letters and digits from column 1,
// the line number 1 in columns 7-10); otherwise the letters and digits of the data file's own
// name up to its first full stop, at most six ("gp_rcs.csv" gives "gprcs"; "site" when none).
std::string crn_site_code(const std::array<std::string, 3>& header, std::string_view data_own_name);

// The text of header line `k` (0-2) after its columns 1-10 when the line follows the data bank
// layout (letters and digits in columns 1-6, the line number k + 1 in columns 7-10), else "".
std::string data_bank_header_text(const std::array<std::string, 3>& header, int k);

// The site a data file's header lines name when they follow the data bank layout: the code in
// columns 1-6 and the name (often with its state or country) after column 10 of line 1, the
// species after column 10 of line 2 (a leading "Species" label dropped). Text after column 80 (the
// codes a run puts in columns 85-88) is not read. "" for what the lines do not give.
struct DataBankSite {
    std::string code, name, species;
};
DataBankSite data_bank_site(const std::array<std::string, 3>& header);

struct CrnChronology {
    std::string_view site;            // site code, cut or padded to 6 columns
    std::array<std::string, 3> text;  // text of the Site, Info and Data records (cut at column 80)
    int first_year = 0;               // year of values[0]
    std::span<const float> values;    // the chronology by year
    std::span<const int> depth;       // sample depth by year; 0 or less: no value that year
};

// What writing a .crn file gave.
struct CrnWritten {
    bool written = false;
    std::string refusal;     // why the file was not written ("" when it was)
    int capped_depths = 0;   // years whose depth was above 999, written as 999
    int clipped_values = 0;  // years whose index did not fit 4 columns (below -0.999 or at 9.9895
                             // and above, where 9990 would read as no value): written as -999 or 9989
    int first_year = 0, last_year = 0;  // the first and last year with a value
};

// The first and last year with a value (depth above 0, a finite value); false when none has one.
bool crn_value_years(const CrnChronology& c, int& first, int& last);

// Writes `c` to `path` (under its staged name, renamed when complete; a file that cannot be
// created or written stops the run). Refuses, writing nothing, a chronology without any value
// and one whose decades do not fit columns 7-10 (a first year before -990 or a last year after
// 9999); `refusal` then says why.
CrnWritten write_crn_file(const std::string& path, const CrnChronology& c);

}  // namespace kestrovan
