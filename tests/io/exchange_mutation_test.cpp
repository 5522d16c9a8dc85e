// Mutation campaign over the exchange formats: gp and co021 written as a CSV table, a Heidelberg
// file, a compact file and a TRiDaS document, each damaged in one seeded way (a byte replaced,
// a line deleted or repeated, the file cut inside a line) and loaded through the format menu.
// Every load must either be refused with a message naming a line, or give the series of the
// file at their years: the same series and spans, with the values of at most one series changed
// (the one whose line or header the damage hit). A file cut at a line end, or without its last
// line, is a shorter file of the same kind and is not among the damages.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>

#include "reader_files.hpp"

using namespace kestrovan;
using namespace kestrovan::testing;

namespace {

std::uint64_t next(std::uint64_t& state) {  // splitmix64: the same numbers on every platform
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A table has neither an end marker nor a stated span: cut inside its last cell it is a shorter
// table with one value changed, and without its first year row a table that starts a year later;
// so tables (`table` true) are not cut, and their header and first row are not deleted.
std::string damaged(const std::string& text, std::uint64_t& seed, bool table, bool& values_may_change,
                    bool& cut) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\n') starts.push_back(i + 1);
    const std::size_t lines = starts.size();
    const std::size_t from = table ? 2 : 0;
    const std::size_t l = from + next(seed) % (lines - 1 - from);  // never the last line
    const std::size_t end = starts[l + 1];
    values_may_change = cut = false;
    switch (next(seed) % (table ? 3 : 4)) {
        case 0: {
            values_may_change = true;
            std::string t = text;
            const std::size_t at = next(seed) % t.size();
            const char pool[] = "0123456789 .,;-\tAx<\"=";
            t[at] = pool[next(seed) % (sizeof pool - 1)];
            return t;
        }
        case 1: return text.substr(0, starts[l]) + text.substr(end);
        case 2: return text.substr(0, end) + text.substr(starts[l], end - starts[l]) + text.substr(end);
        default: {
            values_may_change = cut = true;
            const std::size_t len = end - starts[l];
            if (len < 3) return text.substr(0, starts[l] + 1);
            return text.substr(0, starts[l] + 1 + next(seed) % (len - 2));
        }
    }
}

}  // namespace

TEST(ExchangeMutations, EveryDamagedFileIsReadRightOrRefusedNamingALine) {
    const std::regex names_line("[Ll]ine [0-9]+");
    int refused = 0, read = 0;
    for (const char* name : {"gp.rwl", "co021.rwl"}) {
        const SeriesTable truth = tucson_original(name);
        const std::pair<std::string, std::string> files[] = {{csv_table(truth, ','), "5\n0\n"},
                                                             {heidelberg_file(truth), "6\n"},
                                                             {compact_file(truth), "7\n"},
                                                             {tridas_file(truth), "8\n"}};
        std::uint64_t seed = 27;
        for (const auto& [text, answers] : files) {
            for (int m = 0; m < 150; ++m) {
                bool may_change = false, cut = false;
                const std::string bad = damaged(text, seed, answers == "5\n0\n", may_change, cut);
                const Loaded r = load(bad, answers);
                const std::string where = std::string(name) + " " + answers.substr(0, 1) + " mutation " + std::to_string(m);
                if (!r.ok) {
                    ++refused;
                    EXPECT_TRUE(std::regex_search(r.shown, names_line)) << where << "\n" << r.shown;
                    continue;
                }
                ++read;
                // A file cut where one series ends and the next begins holds the series before.
                if (cut)
                    ASSERT_LE(r.table.count(), truth.count()) << where;
                else
                    ASSERT_EQ(r.table.count(), truth.count()) << where;
                int changed = 0;
                for (int s = 0; s < r.table.count(); ++s) {
                    const auto i = static_cast<std::size_t>(s);
                    ASSERT_EQ(r.table.years[i].first, truth.years[i].first) << where;
                    ASSERT_EQ(r.table.years[i].length, truth.years[i].length) << where;
                    const auto a = values_of(r.table, s), b = values_of(truth, s);
                    for (std::size_t k = 0; k < a.size(); ++k)
                        if (std::fabs(a[k] - b[k]) > 1e-6f) {
                            ++changed;
                            break;
                        }
                }
                EXPECT_LE(changed, may_change ? 1 : 0) << where;
            }
        }
    }
    EXPECT_GT(refused, 100);
    EXPECT_GT(read, 100);
}
