#include "select/savcen.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "console/report.hpp"
#include "io/tucson.hpp"
#include "model/format.hpp"

namespace kestrovan {

namespace {

struct CensorCode {
    const char* tag;     // file-name tag
    const char* header;  // code in columns 85-88 of the header lines
    const char* line;    // label on the data lines (padded to 6)
};

CensorCode code_for(int choice) {
    switch (choice) {
        case kChoiceMinSegment: return {"_mnsl=", "MNSL", "mnsl  "};
        case kChoiceMaxStart: return {"_mxsy=", "MXSY", "mxsy  "};
        case kChoiceMinStart: return {"_mnsy=", "MNSY", "mnsy  "};
        case kChoiceTruncBefore: return {"_trunb=", "TRNB", "trnb  "};
        case kChoiceTruncAfter: return {"_truna=", "TRNA", "trna  "};
        case kChoiceCommon: return {"_comm=", "COMM", "comm  "};
        default: return {"_sel=", "SELE", "sele  "};
    }
}

// Right-aligned number in a field of `width`, widened when the number needs more room (a file
// name never carries asterisks).
std::string name_number(int value, int width) {
    std::string digits = std::to_string(value);
    if (digits.size() >= static_cast<std::size_t>(width)) return digits;
    return std::string(static_cast<std::size_t>(width) - digits.size(), ' ') + digits;
}

// Width 2 below 100, 3 below 1000, else 4.
std::string sized_number(int value) { return name_number(value, value < 100 ? 2 : value < 1000 ? 3 : 4); }

}  // namespace

std::string savcen_file_name(const std::string& base, int choice, int value1, int value2) {
    const CensorCode code = code_for(choice);
    std::string number;
    switch (choice) {
        case kChoiceMaxStart:
        case kChoiceMinStart: number = name_number(value1, 4); break;
        case kChoiceCommon: number = name_number(value1, 4) + "-" + name_number(value2, 4); break;
        default: number = sized_number(value1); break;
    }
    return base + code.tag + number + ".txt";
}


void mark_header_lines(int choice, std::array<std::string, 3>& header) {
    for (auto& h : header) {
        h = fixed_width(h, 88);
        h.replace(84, 4, code_for(choice).header);
    }
}

std::string savcen(int choice, int value1, int value2, const SeriesTable& table, OutputFiles& files,
                   Console& console) {
    const CensorCode code = code_for(choice);
    const std::string name = savcen_file_name(files.base_name(), choice, value1, value2);
    files.refuse_if_data_file(name);
    std::ofstream file = create_output_file(name);
    files.saved_selection = name;
    console.blank_line();
    console.line("File for censored data created: " + name, 2);

    mark_header_lines(choice, files.header);
    for (const auto& h : files.header) file << h << '\n';

    TucsonWriteState state;
    state.file_name = name;
    std::vector<float> work;
    for (int i = 0; i < table.count(); ++i) {
        const int n = std::min(table.years[static_cast<std::size_t>(i)].length, table.data.rows());
        auto col = table.data.column(i);
        work.assign(col.begin(), col.begin() + std::max(n, 0));
        trrw(file, "mw",
             {.id = table.ids[static_cast<std::size_t>(i)],
              .first_year = table.years[static_cast<std::size_t>(i)].first,
              .values = work,
              .label = code.line},
             state, console);
    }
    file.flush();
    check_written(file, name);
    file.close();
    return name;
}

}  // namespace kestrovan
