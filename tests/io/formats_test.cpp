// The table of data file formats: every kind has one row whose name, menu number and menu line
// the run file and the format menu can use, and recognition picks the kind the earliest evidence
// shows, with the reasons the console gives.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "io/formats.hpp"

using namespace kestrovan;

namespace {

TEST(FileFormats, EveryRowRoundTripsItsNameAndMenuNumber) {
    std::set<std::string> names;
    int menu = 0;
    for (const FileFormat& f : kFileFormats) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(names.insert(f.name).second);
        EXPECT_EQ(&file_format(f.kind), &f);
        EXPECT_EQ(file_kind_of(f.name), f.kind);
        EXPECT_EQ(file_kind_name(f.kind), f.name);
        // The menu numbers run 1, 2, ... in the table's order: the menu's prompt gives their range.
        EXPECT_EQ(f.menu, ++menu);
        EXPECT_EQ(file_format_at_menu(f.menu), &f);
        // The menu's numbers stand in one column after the texts.
        EXPECT_LE(std::string(f.menu_text).size(), 25u);
        // Only the recognising row reads nothing itself; every recognised kind is named when a
        // file fits none.
        EXPECT_EQ(f.read == nullptr, f.kind == FileKind::Recognised);
        if (f.recognise) {
            EXPECT_NE(std::string(f.auto_name), "");
        }
    }
    EXPECT_EQ(last_menu_number(), menu);
    EXPECT_FALSE(file_kind_of("rwl"));
    EXPECT_EQ(file_format_at_menu(0), nullptr);
    EXPECT_EQ(format_names_text(&FileFormat::units), "\"csv\" or \"auto\"");
    EXPECT_EQ(format_names_text(&FileFormat::header_lines),
              "\"single-column\", \"multiple-columns\" or \"csv\"");
}

TEST(FileFormats, TheEarliestEvidenceDecidesAndAFileOfNoKindIsToldWhy) {
    struct Case {
        const char* content;
        FileKind kind;
        const char* reason;
    };
    const Case cases[] = {
        // A header row on the first line wins over a HEADER: line after it.
        {"Year,A01\n1900,1.5\nHEADER:\n", FileKind::Csv,
         "line 1 is a header row that begins with the year column"},
        {"\n\nHEADER:\nKeyCode=A\n", FileKind::Heidelberg, "line 3 is HEADER:"},
        {"  3=N  1900=I A01  -2(26F3.0)~\n150160170\n", FileKind::Compact,
         "line 1 is a header line of the compact format"},
        {"<?xml version=\"1.0\"?>\n<tridas>\nHEADER:\n", FileKind::Tridas,
         "an XML document that names TRiDaS"},
        {"A01     1900   100   110   999\n", FileKind::RingWidths,
         "the whole file reads as Tucson decade lines of ring widths and not as the other kind"},
        {"A01\n1900\n1.5\n1.6\n", FileKind::Recognised,
         "it is neither a CSV table, Heidelberg, compact, TRiDaS nor a Tucson file that reads without a "
         "fault"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        std::istringstream file(c.content);
        std::string reason;
        EXPECT_EQ(recognise_kind(file, reason), c.kind);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(file.tellg(), 0);  // left at its start
    }
}

}  // namespace
