// The example answer files cut short after every answer, and with garbage before every answer:
// the program never takes the garbage as an answer and never loops on the end of its input.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_runner.hpp"

using namespace kestrovan::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> answer_lines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(example_answers(name));
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string joined(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t i = from; i < to && i < lines.size(); ++i) s += lines[i] + "\n";
    return s;
}

struct Example {
    const char* answers;
    const char* base;
    std::vector<const char*> data;
};

const Example kExamples[] = {
    {"ca533_spline.txt", "ca533", {"ca533.rwl"}},
    {"gp_rcs.txt", "gp", {"gp.rwl", "gp_pith.txt"}},
};

}  // namespace

TEST(Answers, EndOfInputAfterEveryAnswerStopsWithStatusTwoAndAClosedReport) {
    for (const Example& ex : kExamples) {
        TempDir dir;
        for (const char* d : ex.data) copy_example_data(d);
        const auto lines = answer_lines(ex.answers);
        const std::string report = std::string(ex.base) + "_out_v45_v2b.txt";
        // The last line answers the closing pause, where the end of input counts as RETURN.
        for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
            fs::remove(report);
            EXPECT_EQ(run_kestrovan(joined(lines, 0, k)), 2) << ex.answers << " after " << k << " answers";
            // Before the data are read no report is written; afterwards it ends with the stop.
            if (k < 2) {
                EXPECT_FALSE(fs::exists(report)) << k;
            } else {
                EXPECT_NE(read_file(report).find("THE RUN STOPPED: THE INPUT ENDED AT A QUESTION."),
                          std::string::npos)
                    << ex.answers << " after " << k << " answers";
            }
        }
    }
}

TEST(Answers, GarbageBeforeAnyAnswerIsRefusedAndTheRunStaysTheSame) {
    for (const Example& ex : kExamples) {
        TempDir dir;
        for (const char* d : ex.data) copy_example_data(d);
        const auto lines = answer_lines(ex.answers);
        const std::string table = std::string(ex.base) + "_crns_col.txt";
        ASSERT_EQ(run_kestrovan(joined(lines, 0, lines.size())), 0) << ex.answers;
        const std::string expected = read_file(table);
        for (std::size_t k = 0; k < lines.size(); ++k) {
            fs::remove(table);
            // A file name that does not exist is followed by a pause for RETURN.
            const bool file_question =
                lines[k].find(".rwl") != std::string::npos || lines[k].find(".txt") != std::string::npos;
            const std::string garbage = file_question ? "zz?\n\n" : "zz?\n";
            const std::string answers = joined(lines, 0, k) + garbage + joined(lines, k, lines.size());
            EXPECT_EQ(run_kestrovan(answers), 0) << ex.answers << ": garbage before answer " << k;
            EXPECT_EQ(read_file(table), expected) << ex.answers << ": garbage before answer " << k;
        }
    }
}
