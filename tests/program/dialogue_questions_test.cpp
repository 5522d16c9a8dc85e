// The dialogue's table of questions as the run file and the recorder serve it: a value of every
// row other than its default is written, read back and answered as it was given.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "model/run_options.hpp"
#include "run/dialogue_questions.hpp"
#include "run/recorder.hpp"
#include "run/run_file.hpp"
#include "run/run_session.hpp"

namespace kestrovan {
namespace {

// A value of the row's field other than its default that the options accept.
QuestionAnswer other_value(const Question& q) {
    const RunOptions defaults;
    return std::visit(
        [&]<class T>(const Fills<T>& f) -> QuestionAnswer {
            const T v = defaults.*f.field;
            if constexpr (std::is_same_v<T, bool>) {
                return !v;
            } else if constexpr (std::is_same_v<T, float>) {
                return v * 2;
            } else {
                for (const NamedValue& n : q.names)
                    if (n.value != static_cast<int>(v)) return static_cast<T>(n.value);
                if constexpr (std::is_same_v<T, int>) {
                    for (const OptionRange& r : kOptionRanges)
                        if (r.field == f.field) return r.lo != v ? r.lo : r.hi;
                }
                return static_cast<T>(static_cast<int>(v) + 1);
            }
        },
        q.fills);
}

TEST(DialogueQuestions, EveryRowRoundTripsThroughTheRunFileAndTheRecorder) {
    RunPlan plan;
    plan.data = "site.rwl";
    for (const Question& q : questions()) store(q, other_value(q), plan.options);
    ASSERT_EQ(plan.options.validate(), "");
    const std::string text = run_file_text(plan, "");
    const RunPlan read =
        parse_run_file(text, "questions.toml", "", RunFileRequest{"questions.toml", "", false});

    RunOptions params;
    RunFileSession session(read, params);
    SessionRecorder recorder(session, params);
    for (const Question& q : questions()) {
        SCOPED_TRACE(q.key);
        const QuestionAnswer given = answer_in(q, plan.options);
        EXPECT_NE(given, answer_in(q, RunOptions{}));
        EXPECT_NE(text.find("\n" + std::string(q.key) + " = "), std::string::npos) << text;
        EXPECT_EQ(answer_in(q, read.options), given) << text;
        EXPECT_EQ(recorder.answer(q), given);
        EXPECT_EQ(answer_in(q, recorder.plan().options), given);
    }
}

}  // namespace
}  // namespace kestrovan
