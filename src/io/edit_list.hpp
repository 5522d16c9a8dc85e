#pragma once
// Fortran-style edit lists: the read formats of format-described blocks ("(5f6.2)", "(2(i4))")
// and the record formats of pith-offset files ("(2x,i3)", "(t6,i2)"). One parser understands
// them all, and one walk takes their descriptors in reading order under a step budget, so that a
// format of huge repeat counts cannot keep a reader busy.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrovan {

struct EditItem {
    enum class Kind {
        Real,       // fw.d, ew.d, dw.d, gw.d (an exponent width "ew.dEe" is taken and ignored)
        Integer,    // iw or iw.m
        Skip,       // nX: move `width` columns right
        Tab,        // Tn: move to column `width` (counted from 1)
        TabRight,   // TRn: move `width` columns right
        TabLeft,    // TLn: move `width` columns left (not past the first)
        NewRecord,  // "/": go on at the start of the next record
        Group,      // n(...): the items of `group`, `repeat` times
    };
    Kind kind = Kind::Real;
    int repeat = 1;               // data fields and groups: the repeat count; 1 for the rest
    int width = 0;                // data fields: the width; skips and tabs: their column count
    int decimals = 0;             // real fields: implied decimals of a number without a point
    std::vector<EditItem> group;  // a group's items (possibly none)
};

using EditList = std::vector<EditItem>;

// The edit list inside the outer parentheses of a format, in either case, or nullopt when it is
// not one this parser reads. Commas between items may be left out or doubled; "/" stands alone.
// Blanks and tabs separate items; a format that reads only with its blanks removed is read so
// ("(1 0f8.3)" is "(10f8.3)", as blanks in Fortran formats count for nothing). Numbers are at
// most 100000 and groups nest at most eight deep.
std::optional<EditList> parse_edit_list(std::string_view format);

// True when the list holds an item of the kind, inside groups too.
bool holds(const EditList& list, EditItem::Kind kind);

// Most items a walk may visit: a format whose repeated groups hold no data field (such as
// "(99999(99999(99999(t1))))") would otherwise be walked for hours.
inline constexpr long long kMaxEditSteps = 1000000;

enum class WalkEnd {
    Finished,    // every item was walked
    Stopped,     // the visitor asked to stop
    OverBudget,  // the walk passed kMaxEditSteps items
};

// Walks the descriptors of edit lists in reading order: groups expanded by their repeat counts,
// a data field repeated by its own, every descriptor (never a group) handed to the visitor,
// which returns true to stop the walk. The budget counts an item each time the walk of its list
// reaches it: a group once, and its contents once per repetition; a repeated data field counts
// once (each repetition takes a field, which the reader's own limits bound). It is shared by
// every walk of one EditWalk.
class EditWalk {
public:
    template <class Visit>
    WalkEnd walk(const EditList& list, std::size_t from, Visit&& visit) {
        for (std::size_t i = from; i < list.size(); ++i) {
            const EditItem& item = list[i];
            if (++steps_ > kMaxEditSteps) return WalkEnd::OverBudget;
            if (item.kind != EditItem::Kind::Group) {
                for (int r = 0; r < item.repeat; ++r)
                    if (visit(item)) return WalkEnd::Stopped;
                continue;
            }
            if (item.group.empty()) continue;  // repeating nothing is nothing
            for (int r = 0; r < item.repeat; ++r) {
                const WalkEnd end = walk(item.group, 0, visit);
                if (end != WalkEnd::Finished) return end;
            }
        }
        return WalkEnd::Finished;
    }

private:
    long long steps_ = 0;
};

}  // namespace kestrovan
