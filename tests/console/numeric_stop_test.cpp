// What the numerics say, said on the console: their notices in order, with the waits they ask for,
// also when the fit then fails; the stop a failure becomes: its lines on the console as the
// numerics would have printed them, the wait when it asks for one, and an abnormal stop with its
// message.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/numeric_stop.hpp"

namespace kestrovan {
namespace {

struct Said {
    std::string console;
    StopKind kind = StopKind::Normal;
    std::string what;
    int exit_code = -1;
};

Said stop_of(const NumericFailure& failure, const std::string& input, bool echo) {
    std::istringstream in(input);
    std::ostringstream out;
    Console console(in, out);
    console.set_echo(echo);
    console.line("before");
    Said said;
    try {
        stop_on_failure(console, failure);
    } catch (const ProgramStop& stop) {
        said.kind = stop.kind();
        said.what = stop.what();
        said.exit_code = stop.exit_code();
    }
    said.console = out.str();
    return said;
}

TEST(NumericStop, LinesInOrderThenTheWaitThenAnAbnormalStop) {
    const NumericFailure lines({{}, {"*** too long ***", 2}, {"bye."}}, true);
    // The wait reads one answer: an answer file's answer is echoed after the lines.
    Said said = stop_of(lines, "x\nnext\n", true);
    EXPECT_EQ(said.console, "before\n\n *** too long ***\nbye.\nx\n");
    EXPECT_EQ(said.kind, StopKind::Abnormal);
    EXPECT_EQ(said.what, "");
    EXPECT_EQ(said.exit_code, lines.exit_code());

    // Without a wait nothing is read.
    said = stop_of(NumericFailure({{"fatal", 2}}, false), "x\n", true);
    EXPECT_EQ(said.console, "before\n fatal\n");

    // A failure said in one message prints nothing: the stop carries the message.
    said = stop_of(NumericFailure("internal error: no values"), "", false);
    EXPECT_EQ(said.console, "before\n");
    EXPECT_EQ(said.what, "internal error: no values");
    EXPECT_EQ(said.exit_code, 1);
    EXPECT_EQ(stop_for(NumericFailure("m")).exit_code(), NumericFailure::kExitStatus);
}

TEST(Notices, PrintedInOrderWithTheirWaitsAlsoWhenTheFitFails) {
    std::istringstream in("answer\n");
    std::ostringstream out;
    Console console(in, out);
    console.set_echo(true);
    with_notices(console, [](Notices& n) {
        n.line("first");
        n.pause("wait here");
        n.line("indented", 3);
    });
    EXPECT_EQ(out.str(), "first\nwait here\nanswer\n  indented\n");

    out.str("");
    EXPECT_THROW(with_notices(console,
                              [](Notices& n) {
                                  n.line("said before the failure");
                                  throw NumericFailure("no values");
                              }),
                 NumericFailure);
    EXPECT_EQ(out.str(), "said before the failure\n");
}

}  // namespace
}  // namespace kestrovan
