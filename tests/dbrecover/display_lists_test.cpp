// What the front ends list: deleted records first, map order kept within
// each group.
#include "dbrecover/display_lists.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qb::dbrecover {
namespace {

using ::testing::ElementsAre;

TEST(DisplayLists, DeletedContactsComeFirstInKeyOrder) {
    ContactMap contacts;
    for (const auto& [key, deleted] : std::vector<std::pair<std::int64_t, std::uint8_t>> {
             {-9, 0}, {-3, 1}, {-1, 0}, {2, 1}, {5, 1}, {-7, 0}}) {
        contacts[key].rawContactId = key < 0 ? -key : key;
        contacts[key].deleted = deleted;
    }
    ThreadMap threads;
    const DisplayLists lists = BuildDisplayLists(contacts, threads);
    EXPECT_THAT(lists.contacts, ElementsAre(&contacts.at(-3), &contacts.at(2), &contacts.at(5), &contacts.at(-9),
                                            &contacts.at(-7), &contacts.at(-1)));
    EXPECT_TRUE(lists.threads.empty());
}

TEST(DisplayLists, DeletedConversationsComeFirstInMapOrder) {
    ThreadMap threads;
    for (const auto& [address, deleted] : std::vector<std::pair<std::string, std::uint8_t>> {
             {"111", 0}, {"222", 1}, {"333", 0}, {"444", 1}, {"555", 0}}) {
        threads[{address, 1}].deleted = deleted;
    }
    ContactMap contacts;
    const DisplayLists lists = BuildDisplayLists(contacts, threads);
    EXPECT_THAT(lists.threads, ElementsAre(&threads.at({"222", 1}), &threads.at({"444", 1}), &threads.at({"111", 1}),
                                           &threads.at({"333", 1}), &threads.at({"555", 1})));
    EXPECT_TRUE(lists.contacts.empty());
}

TEST(DisplayLists, LongListsKeepTheMapOrderWithinEachGroup) {
    ContactMap contacts;
    for (std::int64_t key = -100; key < 100; ++key) contacts[key].deleted = (key * 7 + 3) % 3 == 0 ? 1 : 0;
    ThreadMap threads;
    const DisplayLists lists = BuildDisplayLists(contacts, threads);
    std::vector<ContactItem*> expected;
    for (int wanted : {1, 0}) {
        for (auto& [key, contact] : contacts) {
            if (contact.deleted == wanted) expected.push_back(&contact);
        }
    }
    EXPECT_EQ(lists.contacts, expected);
}

TEST(DisplayLists, ListsPointIntoTheMaps) {
    ContactMap contacts;
    contacts[-1].name = "Ann";
    ThreadMap threads;
    threads[{"555", 1}].name = "Ann";
    const DisplayLists lists = BuildDisplayLists(contacts, threads);
    ASSERT_EQ(lists.contacts.size(), 1u);
    lists.contacts[0]->selected = 0;
    lists.threads[0]->selected = 0;
    EXPECT_EQ(contacts.at(-1).selected, 0);
    EXPECT_EQ(threads.at({"555", 1}).selected, 0);
}

}  // namespace
}  // namespace qb::dbrecover
