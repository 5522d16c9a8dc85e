#pragma once
// Fortran-style fixed-width number formatting (iN, fN.d, eN.d) and column placement of text.
#include <string>
#include <string_view>

namespace kestrovan {

// Integer right-justified in width columns; asterisks when it does not fit (Fortran iN).
std::string fmt_i(long long value, int width);

// Real with `decimals` digits after the point, right-justified in width columns; asterisks
// when it does not fit (Fortran fN.d). A leading zero before the point is kept when there is room
// ("   0.500"), dropped when only that makes it fit ("-.500" in f4.3 style fields).
// NaN and infinity print as asterisks: they never reach a file as text a reader could misread.
std::string fmt_f(double value, int width, int decimals);

// Real in exponential form d.ddddE+xx right-justified in width columns (Fortran-like Ew.d with a
// leading "0."), asterisks when it does not fit.
std::string fmt_e(double value, int width, int decimals);

// Builds one output line whose pieces start at given columns (counted from 1), like Fortran's
// T edit descriptor. A piece placed left of the current end cuts the line back to that column.
class Columns {
public:
    Columns() = default;
    Columns& at(int column, std::string_view text);
    // Appends text right after what is already there.
    Columns& add(std::string_view text);
    const std::string& str() const { return line_; }
    operator const std::string&() const { return line_; }

private:
    std::string line_;
};

// Text placed at a column: column − 1 blanks, then text.
std::string at_column(int column, std::string_view text);

// Text padded with blanks (or cut) to exactly width characters.
std::string fixed_width(std::string_view text, std::size_t width);

// Text without trailing blanks.
std::string rtrim(std::string_view text);
// Text without leading and trailing blanks.
std::string trim(std::string_view text);
// Text in capitals (the report's copy of a console message).
std::string upper_case(std::string text);

}  // namespace kestrovan
