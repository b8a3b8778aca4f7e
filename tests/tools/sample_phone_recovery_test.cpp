// Recovery of generated sample phones against their ground truth: every live
// row, every row deleted after the last checkpoint, every deleted row whose
// bytes still lie intact in free space, and nothing that was never there.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dbrecover/number_matching.h"
#include "dbrecover/recovery_driver.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "tests/tools/contact_fields.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb {
namespace {

using dbrecover::ContactItem;
using dbrecover::MsgThread;
using tools::RowState;

using testsupport::FieldNamed;
using testsupport::Split;

const std::vector<std::string>& FieldNames() {
    static const std::vector<std::string> names = {"name", "nickname", "im", "phone", "email", "organization",
                                                   "sipAddress", "postalAddress", "website", "note", "others"};
    return names;
}

// The date text the recovery must show, worked out here in UTC (the suite
// runs with TZ=UTC) from days since 1970 to a civil date.
std::string UtcText(std::int64_t milliseconds) {
    const std::int64_t seconds = milliseconds / 1000;
    std::int64_t days = seconds / 86400;
    const std::int64_t rest = seconds % 86400;
    days += 719468;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

bool IsDeleted(RowState s) { return s == RowState::DeletedBeforeCheckpoint || s == RowState::DeletedAfterCheckpoint; }
bool InCurrent(RowState s) { return s == RowState::Live || s == RowState::AddedAfterCheckpoint; }
bool InBackup(RowState s) { return s == RowState::Live || s == RowState::DeletedAfterCheckpoint; }
// Carving finds a row where its bytes lie intact in free space: a deleted
// row's old cell, or a stale copy of a live row that SQLite left behind.
bool Carvable(const tools::Intact& intact) { return intact.Anywhere(); }

struct Recovery {
    dbrecover::ContactMap contacts;
    dbrecover::ThreadMap threads;
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> progress;
    tools::GroundTruth truth;
};

class SamplePhoneRecovery : public ::testing::TestWithParam<tools::SamplePhoneOptions> {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-sample-recovery-");
        ASSERT_FALSE(folder_.empty());
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(folder_, GetParam(), &error)) << error;
        const auto paths = tools::SamplePhoneLayout(folder_);
        const auto json = platform::ReadWholeFile(paths.truth);
        ASSERT_TRUE(json);
        auto truth = tools::GroundTruthFromJson(*json);
        ASSERT_TRUE(truth);
        r_.truth = std::move(*truth);

        platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t w, std::intptr_t l) {
            if (message == dbrecover::WMU_LOAD_PROGRESS) r_.progress.emplace_back(w, l);
        });
        dbrecover::LoadContacts(paths.contacts, paths.contactsBackup, r_.contacts, notifier);
        dbrecover::LoadMessages(r_.contacts, paths.messages, paths.messagesBackup, r_.threads, notifier);
    }
    void TearDown() override {
        if (!folder_.empty()) platform::RemoveFolderTree(folder_);
    }

    // Raw contact ids that still have a row in the current copy.
    std::set<std::int64_t> LiveRawIds() const {
        std::set<std::int64_t> ids;
        for (const auto& row : r_.truth.dataRows) {
            if (InCurrent(row.state)) ids.insert(row.rawContactId);
        }
        return ids;
    }

    std::string folder_;
    Recovery r_;
};

TEST_P(SamplePhoneRecovery, ReportsEightStepsInOrder) {
    ASSERT_EQ(r_.progress.size(), 8u);
    for (std::size_t i = 0; i < r_.progress.size(); ++i) {
        EXPECT_EQ(r_.progress[i].first, i + 1);
        EXPECT_EQ(r_.progress[i].second, 8);
    }
}

// Contacts the phone only marked deleted are deleted; group memberships
// show the group's title.
TEST_P(SamplePhoneRecovery, LiveAndBackupContactsHoldExactlyTheirRows) {
    const std::set<std::int64_t> live = LiveRawIds();
    const std::set<std::int64_t> pending(r_.truth.pendingDeletes.begin(), r_.truth.pendingDeletes.end());
    EXPECT_EQ(pending.size(), 2u);
    // Expected values per raw id and field, from rows either copy still has.
    std::map<std::int64_t, std::map<std::string, std::set<std::string>>> expected;
    for (const auto& row : r_.truth.dataRows) {
        if (!(InCurrent(row.state) || InBackup(row.state))) continue;
        auto& fields = expected[row.rawContactId];
        if (row.data1) fields[row.field].insert(*row.Shown());
    }
    EXPECT_TRUE(std::any_of(r_.truth.dataRows.begin(), r_.truth.dataRows.end(),
                            [](const auto& row) { return row.shown.has_value(); }))
        << "the sample should hold a group membership";
    for (const auto& [raw, fields] : expected) {
        SCOPED_TRACE("raw contact " + std::to_string(raw));
        const auto it = r_.contacts.find(-raw);
        ASSERT_NE(it, r_.contacts.end());
        const ContactItem& c = it->second;
        EXPECT_EQ(c.rawContactId, raw);
        EXPECT_EQ(c.deleted, live.count(raw) && !pending.count(raw) ? 0 : 1);
        EXPECT_EQ(c.selected, 1);
        for (const std::string& name : FieldNames()) {
            const auto values = Split(FieldNamed(c, name));
            const std::set<std::string> got(values.begin(), values.end());
            EXPECT_EQ(got.size(), values.size()) << name << " holds a value twice";
            const auto want = fields.count(name) ? fields.at(name) : std::set<std::string> {};
            EXPECT_EQ(got, want) << name;
        }
    }
    // No live-row contact beyond those.
    for (const auto& [key, contact] : r_.contacts) {
        if (key < 0) {
            EXPECT_TRUE(expected.count(-key)) << "unexpected contact " << key;
        }
    }
}

// A carved row of a raw contact that a copy still holds joins that contact:
// as where one of its values was found again, or as an earlier value. A
// carved row of any other raw contact forms a deleted contact.
TEST_P(SamplePhoneRecovery, CarvedContactsHoldEveryIntactDeletedRowAndNothingElse) {
    const auto carvedOrigin = [](const dbrecover::ValueOrigin& v) {
        return std::any_of(v.foundIn.begin(), v.foundIn.end(), [](const auto& o) { return !o.live; });
    };
    const auto entryOf = [](const ContactItem& c, const std::string& value) -> const dbrecover::ValueOrigin* {
        for (const auto& v : c.values) {
            if (v.value == value) return &v;
        }
        return nullptr;
    };
    std::size_t carvable = 0, earlier = 0;
    for (const auto& row : r_.truth.dataRows) {
        if (!row.data1 || !Carvable(row.intact)) continue;
        carvable += IsDeleted(row.state);
        SCOPED_TRACE("data row " + std::to_string(row.id) + " " + *row.data1);
        const bool liveContact = r_.contacts.count(-row.rawContactId) > 0;
        const auto it = r_.contacts.find(liveContact ? -row.rawContactId : row.rawContactId);
        ASSERT_NE(it, r_.contacts.end());
        const auto values = Split(FieldNamed(it->second, row.field));
        const bool inField = std::find(values.begin(), values.end(), *row.Shown()) != values.end();
        const dbrecover::ValueOrigin* entry = entryOf(it->second, *row.Shown());
        ASSERT_NE(entry, nullptr);
        EXPECT_TRUE(carvedOrigin(*entry));
        if (!liveContact) {
            EXPECT_EQ(it->second.deleted, 1);
            EXPECT_TRUE(inField) << row.field;
        } else if (!inField) {
            EXPECT_TRUE(entry->earlier) << "a value its live rows do not hold is an earlier value";
            earlier += 1;
        }
    }
    // Every carved value is a row of that raw contact, in its field; every
    // earlier value one of its rows.
    for (const auto& [key, contact] : r_.contacts) {
        const std::int64_t raw = key < 0 ? -key : key;
        for (const auto& v : contact.values) {
            if (!v.earlier) continue;
            EXPECT_LT(key, 0);
            const bool known = std::any_of(r_.truth.dataRows.begin(), r_.truth.dataRows.end(), [&](const auto& row) {
                return row.rawContactId == raw && row.Shown() == v.value;
            });
            EXPECT_TRUE(known) << "contact " << key << " held earlier \"" << v.value << "\"";
        }
        if (key < 0) continue;
        EXPECT_EQ(contact.deleted, 1);
        EXPECT_EQ(r_.contacts.count(-key), 0u) << "a live raw contact has no deleted twin";
        for (const std::string& name : FieldNames()) {
            for (const std::string& value : Split(FieldNamed(contact, name))) {
                const bool known = std::any_of(r_.truth.dataRows.begin(), r_.truth.dataRows.end(), [&](const auto& row) {
                    return row.rawContactId == key && row.field == name && row.Shown() == value;
                });
                EXPECT_TRUE(known) << "carved contact " << key << " " << name << " holds \"" << value << "\"";
            }
        }
    }
    if (GetParam().secureDelete) {
        EXPECT_EQ(carvable, 0u);
    } else {
        EXPECT_GE(carvable, 10u) << "the sample should leave deleted rows to carve";
    }
}

TEST_P(SamplePhoneRecovery, EveryMessageThatCanBeFoundIsFoundOnce) {
    using Key = dbrecover::ThreadKey;
    std::map<Key, std::vector<const tools::TruthSmsRow*>> rowsOf;
    for (const auto& row : r_.truth.smsRows) rowsOf[{row.address, row.threadId}].push_back(&row);

    for (const auto& row : r_.truth.smsRows) {
        const bool findable = InCurrent(row.state) || InBackup(row.state) || Carvable(row.intact);
        const auto it = r_.threads.find({row.address, row.threadId});
        if (!findable) continue;
        SCOPED_TRACE("sms " + std::to_string(row.id) + " " + row.body);
        ASSERT_NE(it, r_.threads.end());
        const auto& messages = it->second.messages;
        const auto count = std::count_if(messages.begin(), messages.end(), [&](const dbrecover::MsgItem& m) {
            return m.body == row.body && m.dateText == UtcText(row.date) && m.type == row.type && m.threadId == row.threadId &&
                   m.address == row.address;
        });
        EXPECT_EQ(count, 1);
        for (const auto& m : messages) {
            if (m.body != row.body || m.dateText != UtcText(row.date)) continue;
            // An old copy of a live row does not make it deleted; it only
            // says where else the message was found.
            EXPECT_EQ(m.deleted, InCurrent(row.state) ? 0 : 1);
            const auto has = [&](bool live, dbrecover::CopyKind copy) {
                return std::any_of(m.foundIn.begin(), m.foundIn.end(),
                                   [&](const auto& o) { return o.live == live && o.copy == copy; });
            };
            EXPECT_EQ(has(true, dbrecover::CopyKind::Current), InCurrent(row.state));
            EXPECT_EQ(has(true, dbrecover::CopyKind::Backup), !InCurrent(row.state) && InBackup(row.state));
            if (row.intact.inCurrent) { EXPECT_TRUE(has(false, dbrecover::CopyKind::Current)); }
            if (row.intact.inBackup) { EXPECT_TRUE(has(false, dbrecover::CopyKind::Backup)); }
        }
    }
    // Nothing that was never on the phone.
    for (const auto& [key, thread] : r_.threads) {
        ASSERT_TRUE(rowsOf.count(key)) << "unexpected conversation " << key.first << "/" << key.second;
        EXPECT_EQ(thread.address, key.first);
        EXPECT_EQ(thread.threadId, key.second);
        for (const auto& m : thread.messages) {
            const bool known = std::any_of(rowsOf[key].begin(), rowsOf[key].end(), [&](const tools::TruthSmsRow* row) {
                return row->body == m.body && UtcText(row->date) == m.dateText && row->type == m.type;
            });
            EXPECT_TRUE(known) << "unexpected message \"" << m.body << "\" in " << key.first;
        }
    }
}

TEST_P(SamplePhoneRecovery, ConversationsAreDeletedWhenCarvedOrGoneAndSortedByDate) {
    // (a carved row that is no live row's old copy, a live row)
    std::map<dbrecover::ThreadKey, std::pair<bool, bool>> carvedOrLive;
    for (const auto& row : r_.truth.smsRows) {
        auto& flags = carvedOrLive[{row.address, row.threadId}];
        if (Carvable(row.intact) && !InCurrent(row.state) && !InBackup(row.state)) flags.first = true;
        if (InCurrent(row.state)) flags.second = true;
    }
    for (const auto& [key, thread] : r_.threads) {
        SCOPED_TRACE(key.first);
        const auto [carved, live] = carvedOrLive[key];
        EXPECT_EQ(thread.deleted, carved || !live ? 1 : 0);
        EXPECT_EQ(thread.selected, 1);
        EXPECT_TRUE(std::is_sorted(thread.messages.begin(), thread.messages.end(),
                                   [](const auto& a, const auto& b) { return a.dateText < b.dateText; }));
    }
}

TEST_P(SamplePhoneRecovery, ConversationsAreNamedAfterTheContactWithThatNumber) {
    // Names a conversation may carry: the name rows of raw contacts that have
    // a phone row equal to the address and were recovered with it, or, when
    // none has, a phone row that is the same number written otherwise.
    for (const auto& [key, thread] : r_.threads) {
        SCOPED_TRACE(key.first);
        std::set<std::string> exact, same;
        for (const auto& [ckey, contact] : r_.contacts) {
            const auto phones = Split(contact.phone);
            if (contact.name.empty()) continue;
            if (std::find(phones.begin(), phones.end(), key.first) != phones.end()) {
                exact.insert(contact.name);
            } else if (std::any_of(phones.begin(), phones.end(),
                                   [&](const std::string& p) { return dbrecover::SamePhoneNumber(p, key.first); })) {
                same.insert(contact.name);
            }
        }
        const std::set<std::string>& possible = exact.empty() ? same : exact;
        if (!possible.empty()) {
            EXPECT_TRUE(possible.count(thread.name)) << "named \"" << thread.name << "\"";
        } else {
            EXPECT_EQ(thread.name, "");
        }
    }
}

std::string VariantName(const ::testing::TestParamInfo<tools::SamplePhoneOptions>& info) {
    const auto& o = info.param;
    std::string name = "seed" + std::to_string(o.seed) + "_page" + std::to_string(o.pageSize);
    if (o.secureDelete) name += "_secureDelete";
    if (o.messagesRollbackJournal) name += "_journal";
    if (o.android5Columns) name += "_android5";
    if (o.scale > 1) name += "_scale" + std::to_string(o.scale);
    return name;
}

tools::SamplePhoneOptions Variant(std::uint64_t seed, std::uint32_t pageSize, bool secureDelete, bool journal,
                                  bool android5, int scale) {
    tools::SamplePhoneOptions o;
    o.seed = seed;
    o.pageSize = pageSize;
    o.secureDelete = secureDelete;
    o.messagesRollbackJournal = journal;
    o.android5Columns = android5;
    o.scale = scale;
    return o;
}

INSTANTIATE_TEST_SUITE_P(Phones, SamplePhoneRecovery,
                         ::testing::Values(Variant(20140923, 4096, false, false, false, 1),
                                           Variant(20140923, 4096, true, false, false, 1),
                                           Variant(7, 4096, false, true, false, 1),
                                           Variant(99, 1024, false, false, true, 1),
                                           Variant(2024, 4096, false, false, true, 3),
                                           Variant(5, 65536, false, false, false, 2)),
                         VariantName);

}  // namespace
}  // namespace qb
