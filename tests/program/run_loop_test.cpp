#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "run/dialogue.hpp"
#include "run/run_loop.hpp"
#include "support/temp_dir.hpp"
#include "support/test_io.hpp"

using namespace kestrovan;

namespace {

// The program's steps with a stand-in for the engine: records the first value of series 0 it
// was given and asks for a retry on the first `failures` attempts, as the engine does when the
// convergence statistic stops decreasing.
struct ConsoleSide {
    explicit ConsoleSide(Console& c) : answers(c) {}
    ConsoleDialogue answers;
};

class StubEngine : private ConsoleSide, public ProgramAttemptSteps {
public:
    StubEngine(int failures, Console& console, OutputFiles& files, Plotter& plotter)
        : ConsoleSide(console),
          ProgramAttemptSteps({console, files, plotter, answers}, 100),
          failures_(failures) {}
    AttemptOutcome engine(const EngineCall& call, EngineObserver&, EngineResults&, EngineCarry&) override {
        first_values.push_back(call.table.data(0, 0));
        last_values.push_back(call.table.data(call.table.years[1].length - 1, 1));
        floors.push_back(call.curve_floor[1]);
        options.push_back(call.params.curve_option);
        return attempts++ < failures_ ? AttemptOutcome::Retry : AttemptOutcome::Completed;
    }
    std::vector<float> first_values, last_values, floors;
    std::vector<int> options;
    int attempts = 0;

private:
    int failures_;
};

SeriesTable two_series() {
    SeriesTable t;
    t.data.resize(4, 2);
    t.ids = {"A       ", "B       "};
    t.years = {{1900, 1903, 4}, {1901, 1903, 3}};
    for (int j = 0; j < 4; ++j) t.data(j, 0) = 1.0f + static_cast<float>(j);
    for (int j = 0; j < 3; ++j) t.data(j, 1) = 0.5f;
    t.update_summary();
    return t;
}

}  // namespace

TEST(RunLoop, RetriesAddGrowingConstantsToUntouchedRawData) {
    kestrovan::testing::TempDir dir;
    std::istringstream in;
    std::ostringstream out;
    Console console(in, out);
    OutputFiles files;
    files.report.open("report.txt");
    RunOptions params;
    params.curve_option = 8;
    auto plotter = make_plotter(PlotSettings{false, "", ""}, console);
    EngineResults results;
    const SeriesTable raw = two_series();
    StubEngine engine(3, console, files, *plotter);

    const AttemptsSummary summary =
        run_attempts(raw, params, kestrovan::testing::TestIo(files, console, *plotter).observer(), results, engine);
    EXPECT_EQ(summary.attempts, 4);
    EXPECT_EQ(summary.outcome, AttemptOutcome::Completed);

    ASSERT_EQ(engine.attempts, 4);
    const std::vector<float> expected{1.0f, 1.1f, 1.2f, 1.3f};
    for (int a = 0; a < 4; ++a) {
        EXPECT_FLOAT_EQ(engine.first_values[static_cast<std::size_t>(a)],
                        expected[static_cast<std::size_t>(a)]);
        EXPECT_FLOAT_EQ(engine.last_values[static_cast<std::size_t>(a)], 0.5f + 0.1f * static_cast<float>(a));
        EXPECT_FLOAT_EQ(engine.floors[static_cast<std::size_t>(a)], 0.02f);
        EXPECT_EQ(engine.options[static_cast<std::size_t>(a)], 8);
    }
    // The engine only reads the options: every attempt starts from them, and they end as they began.
    EXPECT_EQ(params.curve_option, 8);
    EXPECT_FLOAT_EQ(raw.data(0, 0), 1.0f);  // the raw copy is never changed

    const std::string screen = out.str();
    EXPECT_EQ(screen.find("OKAY, LET US BEGIN:"), screen.rfind("OKAY, LET US BEGIN:"));
    EXPECT_NE(screen.find("CONSTANT ADDED TO ALL MEASUREMENTS TO AID CONVERGENCE(?): " + std::string(4, ' ') +
                          "   0.300"),
              std::string::npos);
    files.report.close();
    const auto report = kestrovan::testing::read_lines("report.txt");
    ASSERT_GE(report.size(), 5u);
    EXPECT_EQ(report[0], "");
    EXPECT_EQ(report[1].substr(62), "   0.000");
    EXPECT_EQ(report[2].substr(62), "   0.100");  // retries write no empty line before the line
    for (const auto& line : report)
        EXPECT_EQ(line.find("POWER TRANSFORM"), std::string::npos);  // ratios: never written
}
