// Copies of the sample phones cut short (a pull interrupted) or damaged bit
// by bit (a failing card): rows are still carved from the pages that are
// intact, also when SQLite refuses the file, and no row is made up.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "dbrecover/message_assembly.h"
#include "dbrecover/recovery_driver.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb {
namespace {

struct Damage {
    const char* name;
    std::uint32_t pageSize;
    double keep;       // fraction of the file kept (1: whole)
    int flipEvery;     // one byte in this many overwritten (0: none)
    bool wipeSchema;   // page 1 zeroed: SQLite refuses the file
};

class DamagedCopy : public ::testing::TestWithParam<Damage> {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-damaged-");
        ASSERT_FALSE(folder_.empty());
        tools::SamplePhoneOptions options;
        options.pageSize = GetParam().pageSize;
        options.scale = 2;
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(folder_, options, &error)) << error;
        paths_ = tools::SamplePhoneLayout(folder_);
        truth_ = *tools::GroundTruthFromJson(platform::ReadWholeFile(paths_.truth).value_or(""));
        // Only the damaged copy is read: no backup, no log.
        for (const std::string& path : {paths_.contacts, paths_.messages}) {
            std::string bytes = platform::ReadWholeFile(path).value_or("");
            ASSERT_FALSE(bytes.empty());
            Spoil(bytes);
            ASSERT_TRUE(platform::WriteWholeFile(path, bytes));
            for (const char* companion : {"-wal", "-shm"}) platform::DeleteFileIfExists(path + companion);
        }
        platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t, std::intptr_t) {
            posts_ += message == dbrecover::WMU_LOAD_PROGRESS;
        });
        dbrecover::LoadContacts(paths_.contacts, "", contacts_, notifier);
        dbrecover::LoadMessages(contacts_, paths_.messages, "", threads_, notifier);
    }
    void TearDown() override {
        if (!folder_.empty()) platform::RemoveFolderTree(folder_);
    }

    void Spoil(std::string& bytes) const {
        const Damage& d = GetParam();
        if (d.wipeSchema) std::fill(bytes.begin(), bytes.begin() + d.pageSize, '\0');
        if (d.flipEvery > 0) {
            std::uint64_t state = 0xC0FFEE;
            for (std::size_t i = d.pageSize; i < bytes.size(); i += 1 + (state >> 40) % (2 * d.flipEvery)) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                bytes[i] = static_cast<char>(state >> 56);
            }
        }
        bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * d.keep) / 512 * 512 + 37);
    }

    std::string folder_;
    tools::SamplePhonePaths paths_;
    tools::GroundTruth truth_;
    dbrecover::ContactMap contacts_;
    dbrecover::ThreadMap threads_;
    int posts_ = 0;
};

// Bytes a flipped bit turned into others: a damaged copy of a row is that
// row, not one made up. Edit distance, small strings only.
std::size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

TEST_P(DamagedCopy, CarvesFromIntactPagesAndMakesNothingUp) {
    EXPECT_EQ(posts_, 8);
    // Flipped bytes may change a value; without them every value is exact.
    const std::size_t slack = GetParam().flipEvery > 0 ? 3 : 0;
    const auto same = [&](const std::string& want, const std::string& got, bool cut) {
        if (cut) return want.rfind(got, 0) == 0 || Distance(want.substr(0, got.size()), got) <= slack;
        return want == got || (slack && Distance(want, got) <= slack);
    };
    std::map<std::int64_t, bool> recovered;  // truth sms rows found
    for (const auto& [key, thread] : threads_) {
        for (const auto& m : thread.messages) {
            const tools::TruthSmsRow* match = nullptr;
            for (const auto& row : truth_.smsRows) {
                const bool exactKey = row.address == key.first && row.threadId == key.second && row.type == m.type &&
                                      dbrecover::FormatMessageDate(static_cast<std::uint64_t>(row.date)) == m.dateText;
                if ((exactKey || slack) && same(row.body, m.body, m.bodyCutShort) &&
                    (exactKey || Distance(row.address, key.first) <= slack)) {
                    match = &row;
                    break;
                }
            }
            EXPECT_TRUE(match) << "made up: \"" << m.body << "\" in " << key.first;
            if (match) recovered[match->id] = true;
        }
    }
    for (const auto& [key, contact] : contacts_) {
        if (key < 0) continue;
        for (const std::string* field : {&contact.name, &contact.phone, &contact.email, &contact.note,
                                         &contact.organization, &contact.others, &contact.nickname}) {
            std::size_t start = 0;
            while (!field->empty()) {
                const std::size_t bar = field->find('|', start);
                const std::string value = field->substr(start, bar - start);
                const bool known = std::any_of(truth_.dataRows.begin(), truth_.dataRows.end(), [&](const auto& row) {
                    // A group membership keeps its number where the groups
                    // could not be read.
                    return (row.rawContactId == key || slack) && row.data1 &&
                           (same(*row.data1, value, contact.cutShort) ||
                            (row.shown && same(*row.shown, value, contact.cutShort)));
                });
                EXPECT_TRUE(known) << "made up: contact " << key << " \"" << value << "\"";
                if (bar == std::string::npos) break;
                start = bar + 1;
            }
        }
    }
    // The messages whose bodies the damaged copy still holds are found.
    const std::string bytes = platform::ReadWholeFile(paths_.messages).value_or("");
    std::size_t present = 0, found = 0;
    for (const auto& row : truth_.smsRows) {
        if (row.state != tools::RowState::Live && row.state != tools::RowState::DeletedAfterCheckpoint) continue;
        // Its address and date, next to each other in the record (person is
        // NULL), still lie in the copy: no other row and no other table has them.
        std::string date;
        for (int i = 5; i >= 0; --i) date += static_cast<char>(row.date >> (8 * i));
        if (bytes.find(row.address + date) == std::string::npos) continue;
        ++present;
        found += recovered.count(row.id);
    }
    EXPECT_GE(found * 10, present * (slack ? 5 : 8)) << found << " of " << present;
}

INSTANTIATE_TEST_SUITE_P(Copies, DamagedCopy,
                         ::testing::Values(Damage {"CutAt70Percent", 4096, 0.7, 0, false},
                                           Damage {"CutAt85Percent1K", 1024, 0.85, 0, false},
                                           Damage {"SchemaPageWiped", 4096, 1.0, 0, true},
                                           Damage {"SchemaWipedAndCut1K", 1024, 0.8, 0, true},
                                           Damage {"BitDamage", 4096, 1.0, 400, false},
                                           Damage {"BitDamageAndCut1K", 1024, 0.9, 300, false}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qb
