#include "io/loaders.hpp"

#include "console/console.hpp"

namespace kestrovan {

void print_load_notes(Console& console, const LoadNotes& notes) {
    for (const NoteLine& l : notes.lines) {
        if (l.kind == NoteKind::Pause)
            console.pause(l.text);
        else
            console.line(l.text, l.column);
    }
}

bool read_data(Console& console, std::istream& file, const LoadSettings& settings, SeriesTable& table,
               std::array<std::string, 3>& header, LoadNotes* notes) {
    LoadNotes local;
    LoadNotes& found = notes ? *notes : local;
    found = {};
    bool ok = false;
    try {
        ok = read_series_file(file, settings, table, header, found);
    } catch (...) {
        // A stream that fails part way: what was read before it is said, as it came.
        print_load_notes(console, found);
        throw;
    }
    print_load_notes(console, found);
    return ok;
}

bool loaddat(Console& console, std::istream& file, SeriesTable& table, std::array<std::string, 3>& header,
             LoadSettings* chosen) {
    table = {};
    for (auto& h : header) h.assign(88, ' ');
    const LoadSettings settings = ask_load_settings(console, file);
    if (chosen) *chosen = settings;
    return read_data(console, file, settings, table, header);
}

}  // namespace kestrovan
