// A failure of the numerical code travels as data: its lines and whether it waits, whatever thread
// it was met on.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "model/numeric_failure.hpp"
#include "model/workers.hpp"

namespace kestrovan {
namespace {

TEST(NumericFailure, CarriesItsLinesAndEndsAbnormally) {
    const NumericFailure said({{}, {"first", 2}, {"second"}}, true);
    EXPECT_STREQ(said.what(), "");
    EXPECT_TRUE(said.pauses());
    ASSERT_EQ(said.lines().size(), 3u);
    EXPECT_EQ(said.lines()[0].text, "");
    EXPECT_EQ(said.lines()[1].text, "first");
    EXPECT_EQ(said.lines()[1].column, 2);
    EXPECT_EQ(said.lines()[2].column, 1);
    EXPECT_EQ(said.exit_code(), 1);

    const NumericFailure message("no values");
    EXPECT_STREQ(message.what(), "no values");
    EXPECT_TRUE(message.lines().empty());
    EXPECT_FALSE(message.pauses());
}

// Every task runs to its end, and the caller receives the failure of the lowest worker: the one a
// single thread going through the tasks in order would have met first. The failure keeps its lines.
TEST(NumericFailure, AWorkersFailureReachesTheCallerAsTheFirstInOrder) {
    for (int workers : {1, 2, 4, 7}) {
        SCOPED_TRACE(workers);
        std::vector<int> ran(static_cast<std::size_t>(workers), 0);
        try {
            run_workers(workers, [&](int w) {
                ran[static_cast<std::size_t>(w)] = 1;
                if (w % 2 == 1 || workers == 1)
                    throw NumericFailure({{"failed in worker " + std::to_string(w), 2}}, false);
            });
            FAIL() << "no failure";
        } catch (const NumericFailure& failure) {
            ASSERT_EQ(failure.lines().size(), 1u);
            EXPECT_EQ(failure.lines()[0].text, workers == 1 ? "failed in worker 0" : "failed in worker 1");
            EXPECT_EQ(failure.lines()[0].column, 2);
        }
        for (int r : ran) EXPECT_EQ(r, 1);
    }
}

}  // namespace
}  // namespace kestrovan
