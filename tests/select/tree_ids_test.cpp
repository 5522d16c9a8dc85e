// Identifiers split into site, tree and core, automatically and by a fixed layout.
#include <gtest/gtest.h>

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
