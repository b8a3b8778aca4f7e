// Recovery of sample phones whose deleted rows survive in the places beyond
// the leaf pages' free space: older frames of the log over several
// checkpoints, a leftover journal, freed pages, overflow pages, an emptied
// table, Android 7's data table, secure delete. Every deleted row whose bytes
// lie anywhere in the pull must be found, and nothing that was never there.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dbrecover/recovery_driver.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "dbrecover/message_assembly.h"
#include "tests/tools/contact_fields.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb {
namespace {

using dbrecover::ContactItem;
using tools::RowState;

using testsupport::FieldNamed;
using testsupport::Split;

std::string DateText(std::int64_t milliseconds) { return dbrecover::FormatMessageDate(static_cast<std::uint64_t>(milliseconds)); }

bool GoneFromBothCopies(RowState s) { return s == RowState::DeletedBeforeCheckpoint || s == RowState::Transient; }
bool LiveInCurrent(RowState s) { return s == RowState::Live || s == RowState::AddedAfterCheckpoint; }

struct Scenario {
    const char* name;
    tools::SamplePhoneOptions options;
    // Sources the scenario must have left something in.
    bool expectLog = false, expectJournal = false, expectCutOrWhole = false;
};

class SamplePhoneSources : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-sources-");
        ASSERT_FALSE(folder_.empty());
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(folder_, GetParam().options, &error)) << error;
        paths_ = tools::SamplePhoneLayout(folder_);
        auto truth = tools::GroundTruthFromJson(platform::ReadWholeFile(paths_.truth).value_or(""));
        ASSERT_TRUE(truth);
        truth_ = std::move(*truth);
        platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t w, std::intptr_t) {
            if (message == dbrecover::WMU_LOAD_PROGRESS) steps_.push_back(w);
        });
        dbrecover::LoadContacts(paths_.contacts, paths_.contactsBackup, contacts_, notifier);
        dbrecover::LoadMessages(contacts_, paths_.messages, paths_.messagesBackup, threads_, notifier);
    }
    void TearDown() override {
        if (!folder_.empty()) platform::RemoveFolderTree(folder_);
    }

    std::string folder_;
    tools::SamplePhonePaths paths_;
    tools::GroundTruth truth_;
    dbrecover::ContactMap contacts_;
    dbrecover::ThreadMap threads_;
    std::vector<std::uintptr_t> steps_;
};

TEST_P(SamplePhoneSources, EveryDeletedContactRowWhoseBytesSurviveIsFound) {
    ASSERT_EQ(steps_, (std::vector<std::uintptr_t> {1, 2, 3, 4, 5, 6, 7, 8}));
    std::size_t surviving = 0;
    for (const auto& row : truth_.dataRows) {
        if (!row.data1 || !GoneFromBothCopies(row.state) || !row.intact.InPull()) continue;
        ++surviving;
        SCOPED_TRACE("data row " + std::to_string(row.id) + " " + *row.data1);
        const dbrecover::ContactItem* contact = testsupport::ContactOfCarvedRow(contacts_, row.rawContactId);
        ASSERT_NE(contact, nullptr);
        EXPECT_TRUE(testsupport::ShowsCarvedValue(*contact, row.field, *row.Shown())) << row.field;
    }
    if (!GetParam().options.secureDelete) { EXPECT_GT(surviving, 0u); }
}

TEST_P(SamplePhoneSources, CarvedContactsHoldOnlyRowsOfThatContact) {
    for (const auto& [key, contact] : contacts_) {
        if (key < 0) continue;
        EXPECT_EQ(contact.deleted, 1);
        for (const auto& [name, unused] : std::map<std::string, int> {{"name", 0}, {"nickname", 0}, {"im", 0},
                                                                      {"phone", 0}, {"email", 0}, {"organization", 0},
                                                                      {"sipAddress", 0}, {"postalAddress", 0},
                                                                      {"website", 0}, {"note", 0}, {"others", 0}}) {
            for (const std::string& value : Split(FieldNamed(contact, name))) {
                const bool known = std::any_of(truth_.dataRows.begin(), truth_.dataRows.end(), [&](const auto& row) {
                    return row.rawContactId == key && row.field == name && row.data1 &&
                           (*row.Shown() == value || (contact.cutShort && row.data1->rfind(value, 0) == 0));
                });
                EXPECT_TRUE(known) << "carved contact " << key << " " << name << " holds \"" << value << "\"";
            }
        }
    }
}

TEST_P(SamplePhoneSources, EveryDeletedMessageWhoseBytesSurviveIsFoundOnce) {
    std::size_t surviving = 0, whole = 0;
    for (const auto& row : truth_.smsRows) {
        if (!GoneFromBothCopies(row.state) || !row.intact.InPull()) continue;
        ++surviving;
        SCOPED_TRACE("sms " + std::to_string(row.id) + " " + row.body.substr(0, 60));
        const auto it = threads_.find({row.address, row.threadId});
        ASSERT_NE(it, threads_.end());
        std::size_t found = 0;
        for (const auto& m : it->second.messages) {
            if (m.dateText != DateText(row.date) || m.type != row.type) continue;
            const bool same = m.body == row.body;
            const bool slice = m.bodyCutShort && !m.body.empty() && row.body.rfind(m.body, 0) == 0;
            if (!same && !slice) continue;
            ++found;
            EXPECT_EQ(m.deleted, 1);
            if (row.intact.tailInPull) { EXPECT_TRUE(same) << "cut short although its overflow pages survive"; }
            whole += same;
        }
        EXPECT_EQ(found, 1u);
    }
    if (!GetParam().options.secureDelete) { EXPECT_GT(surviving, 0u); }
    if (GetParam().expectCutOrWhole) { EXPECT_GT(whole, 0u); }
}

TEST_P(SamplePhoneSources, NoMessageThatWasNeverThereAndLiveOnesStayLive) {
    std::map<dbrecover::ThreadKey, std::vector<const tools::TruthSmsRow*>> rowsOf;
    for (const auto& row : truth_.smsRows) rowsOf[{row.address, row.threadId}].push_back(&row);
    for (const auto& [key, thread] : threads_) {
        ASSERT_TRUE(rowsOf.count(key)) << "unexpected conversation " << key.first << "/" << key.second;
        for (const auto& m : thread.messages) {
            const tools::TruthSmsRow* match = nullptr;
            for (const auto* row : rowsOf[key]) {
                if (DateText(row->date) != m.dateText || row->type != m.type) continue;
                if (row->body == m.body || (m.bodyCutShort && row->body.rfind(m.body, 0) == 0)) match = row;
            }
            ASSERT_TRUE(match) << "unexpected message \"" << m.body.substr(0, 60) << "\" in " << key.first;
            // A live message is only shown deleted when a stale copy of it lay
            // in the free space of the current pages.
            if (LiveInCurrent(match->state) && !match->intact.Anywhere()) { EXPECT_EQ(m.deleted, 0) << m.body; }
        }
    }
}

TEST_P(SamplePhoneSources, TheScenarioLeftWhatItMeansTo) {
    bool log = false, journal = false;
    for (const auto& row : truth_.smsRows) {
        if (!GoneFromBothCopies(row.state)) continue;
        log = log || row.intact.inLog;
        journal = journal || row.intact.inJournal;
    }
    for (const auto& row : truth_.dataRows) {
        if (GoneFromBothCopies(row.state)) log = log || row.intact.inLog;
    }
    if (GetParam().expectLog) { EXPECT_TRUE(log); }
    if (GetParam().expectJournal) { EXPECT_TRUE(journal); }
}

tools::SamplePhoneOptions Options(std::uint32_t pageSize, void (*set)(tools::SamplePhoneOptions&)) {
    tools::SamplePhoneOptions o;
    o.seed = 4711 + pageSize;
    o.pageSize = pageSize;
    set(o);
    return o;
}

const Scenario kScenarios[] = {
    {"LogWithCheckpoints", Options(4096, [](auto& o) { o.logLife = true; }), true},
    {"LogOnlySecureDelete", Options(4096, [](auto& o) { o.logLife = true, o.secureDelete = true; }), true},
    {"PersistJournal", Options(4096, [](auto& o) { o.persistJournal = true; }), false, true},
    {"JournalOnlySecureDelete", Options(1024, [](auto& o) { o.persistJournal = true, o.secureDelete = true; }), false, true},
    {"BulkDeleteToFreelist", Options(1024, [](auto& o) { o.bulkDelete = true; })},
    {"LongBodies1K", Options(1024, [](auto& o) { o.longBodies = true; }), false, false, true},
    {"LongBodies4K", Options(4096, [](auto& o) { o.longBodies = true; }), false, false, true},
    {"EmptiedTable", Options(4096, [](auto& o) { o.emptyMessages = true; })},
    {"Android7Contacts", Options(4096, [](auto& o) { o.android7Contacts = true, o.logLife = true; }), true},
    {"SecureDeleteEverywhere", Options(1024, [](auto& o) {
         o.secureDelete = true, o.logLife = true, o.bulkDelete = true, o.longBodies = true;
     }), true},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, SamplePhoneSources, ::testing::ValuesIn(kScenarios),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qb
