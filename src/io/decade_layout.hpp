#pragma once
// Where the fields of a Tucson decade line stand, by year: what the reader (io/tucson.cpp) and
// the writer (io/tucson_writer.cpp) of the decade files share. Internal to the io folder.
namespace kestrovan::detail {

// y mod 10 with the sign of y (what C++'s % gives).
inline int mod10(int y) { return y % 10; }

// Values on the first decade line of a ring-width series starting in year y.
inline int first_line_values(int y) {
    int m = mod10(y);
    if (y >= 0) return 10 - m;
    return m == 0 ? 10 : -m;
}

// Slot (1..10) of the first year y on the first line of a chronology.
inline int first_chronology_slot(int y) {
    int m = mod10(y);
    if (y >= 0) return m + 1;
    return m == 0 ? 1 : 11 + m;
}

// Where the fields of a decade line stand. Ring-width and chronology lines differ only in these
// numbers: one parser splits lines of both kinds, and the writer takes its widths from them.
struct DecadeLayout {
    int id_width;      // identifier columns of the normal layout; the year field follows
    int year_end;      // last column of the year field
    int first_column;  // first column of slot 1
    int slot_width;    // columns of one slot
    int value_width;   // columns of a slot's value; a chronology's sample count fills the rest
    int count_width() const { return slot_width - value_width; }
    int last_column() const { return first_column + 10 * slot_width - 1; }  // of slot 10
};

// Ring widths: identifier 1-8, year 9-12, ten values of 6 columns (13-72).
constexpr DecadeLayout kRingLines{8, 12, 13, 6, 6};
// Chronologies: identifier 1-6, year 7-10, ten pairs of a 4-column index and a 3-column sample
// count (11-80).
constexpr DecadeLayout kChronologyLines{6, 10, 11, 7, 4};

// The widths of identifier and year on a decade line by year: the normal layout down to -999,
// then the year one column wider and the identifier one narrower down to -9999, else two. The
// identifier field never narrows along a series (its years only grow), so a name that fits the
// field of a series' first line is written whole on every line; -1000 therefore takes the
// five-column year of the years before it ("-" then stands right after the identifier, as the
// reader's layout test wants).
struct HeadWidths {
    int id = 0;
    int year = 0;
};

inline HeadWidths head_widths(int y, const DecadeLayout& layout) {
    if (y >= -999) return {layout.id_width, 4};
    if (y >= -9999) return {layout.id_width - 1, 5};
    return {layout.id_width - 2, 6};
}

}  // namespace kestrovan::detail
