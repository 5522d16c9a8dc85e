// Identifiers split into site, tree and core, automatically and by a fixed layout.
#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "console/console.hpp"
#include "io/loaders.hpp"
#include "select/tree_ids.hpp"

using namespace kestrovan;

TEST(TreeIds, CommonLayoutsAreRecognisedAndFixedLayoutsCut) {
    const TreeIdLayout automatic{true, 0, 0};
    const auto split = [](std::string_view id, const TreeIdLayout& l) {
        const TreeIdParts p = split_tree_id(id, l);
        return p.site + "/" + p.tree + "/" + p.core;
    };
    EXPECT_EQ(split("CAM031", automatic), "CAM/03/1");
    EXPECT_EQ(split("01A", automatic), "/01/A");
    EXPECT_EQ(split("KLM07a", automatic), "KLM/07/a");
    EXPECT_EQ(split("641114", automatic), "641/11/4");
    EXPECT_EQ(split("  KLM07a ", automatic), "KLM/07/a");
    EXPECT_EQ(split("CAM031", TreeIdLayout{false, 3, 2}), "CAM/03/1");
    EXPECT_EQ(split("AB", TreeIdLayout{false, 3, 2}), "AB//");

    // Cores of one tree share its number; the same tree number at another site is another tree.
    EXPECT_EQ(tree_numbers({"CAM031", "CAM032", "CAM041", "KLM031"}, automatic), (std::vector<int>{0, 0, 1, 2}));

    TreeIdLayout l;
    EXPECT_TRUE(parse_tree_id_layout("auto", l));
    EXPECT_TRUE(l.automatic);
    EXPECT_TRUE(parse_tree_id_layout("3,2,1", l));
    EXPECT_EQ(l.site, 3);
    EXPECT_EQ(l.tree, 2);
    for (const char* bad : {"", "3", "3,x", "3,2,1,0", "-1,2", "automatic", "0,0"})
        EXPECT_FALSE(parse_tree_id_layout(bad, l)) << bad;
}

// A TRiDaS series is named by its tree (the element's title) and what tells it apart within the
// tree, not by its own title alone: series "1" and "2" in each of two trees stay apart and the
// automatic tree layout finds the two trees.
TEST(TreeIds, TridasSeriesNamedByTheirTreeAreGroupedAutomatically) {
    std::string doc =
        "<?xml version=\"1.0\"?>\n<project xmlns=\"http://www.tridas.org/1.2.2\"><title>p</title>\n"
        "<object><title>Site</title>\n";
    for (const char* tree : {"KLM01", "KLM02"}) {
        doc += std::string("<element><title>") + tree + "</title><sample><title>A</title><radius><title>A</title>\n";
        for (const char* series : {"1", "2"})
            doc += std::string("<measurementSeries><title>") + series +
                   "</title><interpretation><firstYear suffix=\"AD\">1900</firstYear></interpretation>\n"
                   "<values><variable normalTridas=\"ring width\"/><unit normalTridas=\"1/100th millimetres\"/>"
                   "<value value=\"" + series + "0\"/><value value=\"" + std::string(tree).substr(4) +
                   "5\"/></values></measurementSeries>\n";
        doc += "</radius></sample></element>\n";
    }
    doc += "</object></project>\n";
    std::istringstream in, file(doc);
    std::ostringstream shown;
    Console console(in, shown);
    LoadSettings settings;
    settings.kind = FileKind::Tridas;
    SeriesTable t;
    std::array<std::string, 3> header;
    ASSERT_TRUE(read_data(console, file, settings, t, header)) << shown.str();
    EXPECT_EQ(t.ids, (std::vector<std::string>{"KLM011  ", "KLM012  ", "KLM021  ", "KLM022  "}));
    TreeIdLayout automatic;
    ASSERT_TRUE(parse_tree_id_layout("auto", automatic));
    EXPECT_EQ(tree_numbers(t.ids, automatic), (std::vector<int>{0, 0, 1, 1}));
}
