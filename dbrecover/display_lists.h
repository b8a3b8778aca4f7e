// The order in which the front ends show what loading found: deleted records
// first, map order kept within each group.
#pragma once

#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"

namespace qb::dbrecover {

// Borrowed pointers into the maps, valid while the maps are not changed.
struct DisplayLists {
    std::vector<ContactItem*> contacts;
    std::vector<MsgThread*> threads;
};

DisplayLists BuildDisplayLists(ContactMap& contacts, ThreadMap& threads);

}  // namespace qb::dbrecover
