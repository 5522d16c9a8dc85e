// The block-wise line reader gives the lines, and sets the stream's state at the lines, that the
// character-wise one does: every line end, the cut at max_keep and the line too long, wherever
// its blocks begin and end.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "io/text_lines.hpp"

using namespace kestrovan;

namespace {

// Each call's answer, line and the stream's state bits, up to two calls past the last line.
template <typename Next>
std::vector<std::string> calls(std::istream& file, Next next) {
    std::vector<std::string> seen;
    std::string line;
    for (int after = 0; after < 2;) {
        const bool got = next(line);
        seen.push_back(std::string(got ? "1" : "0") + (file.eof() ? "e" : "") + (file.fail() ? "f" : "") +
                       (file.bad() ? "b" : "") + "|" + line);
        if (!got) ++after;
    }
    return seen;
}

TEST(TextLineReader, ReadsTheLinesReadTextLineReads) {
    const std::size_t longest = std::size_t{1} << 20;
    const std::vector<std::string> texts = {
        "",
        "a",
        "a\n",
        "\n\n",
        "a\r\nb\rc\n\rd\r\r\ne",
        "\r",
        "\r\n",
        "one\ntwo\r\nthree\rfour without an end",
        std::string(longest - 1, 'x') + "\nafter",
        std::string(longest, 'x') + "\nafter",
        std::string(longest + 5, 'x'),
        std::string(longest - 1, 'x') + "\r\nafter",
    };
    for (const std::string& text : texts) {
        for (const std::size_t block :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{65536}}) {
            for (const std::size_t keep : {std::size_t{2}, std::size_t{4096}}) {
                SCOPED_TRACE(text.substr(0, 40) + " block " + std::to_string(block) + " keep " +
                             std::to_string(keep));
                if (text.size() > 1000 && block < 7)
                    continue;  // the long lines once per block size is enough
                std::istringstream a(text), b(text);
                TextLineReader reader(b, block);
                EXPECT_EQ(calls(a, [&](std::string& l) { return read_text_line(a, l, keep); }),
                          calls(b, [&](std::string& l) { return reader.next(l, keep); }));
            }
        }
    }
}

}  // namespace
