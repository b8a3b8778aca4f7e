#include "dbrecover/display_lists.h"

#include <algorithm>

namespace qb::dbrecover {
namespace {

template <typename Record, typename Map>
std::vector<Record*> DeletedFirst(Map& map) {
    std::vector<Record*> list;
    list.reserve(map.size());
    for (auto& entry : map) list.push_back(&entry.second);
    std::stable_sort(list.begin(), list.end(), [](const Record* a, const Record* b) { return a->deleted > b->deleted; });
    return list;
}

}  // namespace

DisplayLists BuildDisplayLists(ContactMap& contacts, ThreadMap& threads) {
    return {DeletedFirst<ContactItem>(contacts), DeletedFirst<MsgThread>(threads)};
}

}  // namespace qb::dbrecover
