#pragma once
// How series identifiers split into site, tree and core, so that the statistics can tell cores
// of one tree from cores of different trees.
#include <string>
#include <string_view>
#include <vector>

namespace kestrovan {

struct TreeIdParts {
    std::string site, tree, core;
};

// A layout: the number of characters of site and of tree (the rest is the core), or automatic
// recognition of the common layouts.
struct TreeIdLayout {
    bool automatic = false;
    int site = 0, tree = 0;
};

// Splits an identifier (blanks around it ignored). With a fixed layout, the first `site`
// characters are the site, the next `tree` the tree and the rest the core (missing characters
// leave parts empty). Automatic recognition, on the identifier's runs of letters and digits:
//   letters digits letters   "KLM07a"  -> KLM / 07 / a
//   letters digits           "CAM031"  -> CAM / 03 / 1 (the first two digits the tree; all
//                                         of them when there are two or fewer)
//   digits letters           "01A"     -> (none) / 01 / A
//   digits only              "641114"  -> 641 / 11 / 4 (the last digit the core, the two before
//                                         it the tree, the rest the site)
// Anything else is a tree of its own with no core.
TreeIdParts split_tree_id(std::string_view id, const TreeIdLayout& layout);

// The tree of every identifier, numbered 0, 1, ... in order of first appearance (site and tree
// together name a tree).
std::vector<int> tree_numbers(const std::vector<std::string>& ids, const TreeIdLayout& layout);

// Parses a command-line or run-file layout: "auto", or "S,T[,C]" with whole numbers (the core
// length is ignored: the core is the rest). Returns false on anything else.
bool parse_tree_id_layout(std::string_view text, TreeIdLayout& layout);

}  // namespace kestrovan
