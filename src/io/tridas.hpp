#pragma once
// TRiDaS XML, the exchange standard: the measurement series of a project (measurementSeries
// elements, wherever they stand), read through pugixml.
#include <istream>
#include <string_view>
#include <vector>

#include "io/series_input.hpp"

namespace kestrovan {

// Reads every measurementSeries of a TRiDaS document (element names are matched without their
// namespace prefix). A series is named by the titles around it: its element's (the tree's) title
// whole, then the titles of its sample, radius and its own <title> at the levels where series of
// one element differ (the object's title, and titles that tell no series of a tree apart, left
// out); the table keeps at most 8 characters of the name (short_names). Its first year is
// interpretation/firstYear (suffix AD, BC or BP; BC years count back from 0 = 1 BC, BP years
// from 1950), checked against lastYear when that is given; its widths are the <value value="..">
// of the one <values> group whose variable is the ring width (normalTridas "ring width"), in the
// group's unit (normalTridas micrometres, 1/100th, 1/50th, 1/20th or 1/10th millimetres, or
// millimetres; any other unit is refused). A document that is not well-formed, and a series
// without a title, a date, a ring-width group, a known unit or values, is refused with a message
// naming the line of the element. False after the refusal (in `notes`).
bool read_tridas(std::istream& file, std::vector<InputSeries>& series, LoadNotes& notes);

// True when the start of a file is an XML document that names TRiDaS.
bool looks_like_tridas(std::string_view start);

}  // namespace kestrovan
