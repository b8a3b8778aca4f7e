// Sample phones whose databases were damaged on purpose: the recovery must
// end, not crash, and still read what can be read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "dbrecover/page_scanner.h"
#include "dbrecover/recovery_driver.h"
#include "dbrecover/schema_probe.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb {
namespace {

using dbrecover::TableKind;

// Runs fn on its own thread; a run that does not end in time fails the whole
// test program, since a hung thread cannot be stopped.
template <typename Fn>
void RunWithin(std::chrono::seconds limit, const char* what, Fn fn) {
    std::packaged_task<void()> task(fn);
    auto done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(limit) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not end within %lld s\n", what, static_cast<long long>(limit.count()));
        std::_Exit(1);
    }
    worker.join();
    done.get();
}

struct LoadResult {
    dbrecover::ContactMap contacts;
    dbrecover::ThreadMap threads;
    int progressPosts = 0;
};

LoadResult LoadPhone(const tools::SamplePhonePaths& paths) {
    LoadResult r;
    platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t, std::intptr_t) {
        if (message == dbrecover::WMU_LOAD_PROGRESS) ++r.progressPosts;
    });
    RunWithin(std::chrono::seconds(60), "loading a damaged phone", [&] {
        dbrecover::LoadContacts(paths.contacts, paths.contactsBackup, r.contacts, notifier);
        dbrecover::LoadMessages(r.contacts, paths.messages, paths.messagesBackup, r.threads, notifier);
    });
    return r;
}

void Put16(std::string& bytes, std::size_t at, std::uint32_t v) {
    bytes[at] = static_cast<char>(v >> 8);
    bytes[at + 1] = static_cast<char>(v);
}
void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

class HostilePhone : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-hostile-");
        ASSERT_FALSE(folder_.empty());
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(folder_, tools::SamplePhoneOptions {}, &error)) << error;
        paths_ = tools::SamplePhoneLayout(folder_);
    }
    void TearDown() override { platform::RemoveFolderTree(folder_); }

    // The backup copies are read as they are; tests damage them, since no log
    // is folded into them.
    std::string Bytes(const std::string& path) { return platform::ReadWholeFile(path).value_or(std::string()); }
    void Write(const std::string& path, const std::string& bytes) { ASSERT_TRUE(platform::WriteWholeFile(path, bytes)); }

    dbrecover::TableLayout Layout(const std::string& path, TableKind kind) {
        auto layout = dbrecover::ProbeSchema(path, kind);
        EXPECT_TRUE(layout);
        if (!layout) return {};
        layout->pageSize = static_cast<std::int32_t>(dbrecover::PageSizeFromField(dbrecover::ReadPageSize(path)));
        return *layout;
    }

    // Leaves and freeblocks of a table as the scanner sees them.
    struct Walk {
        std::vector<std::uint32_t> leaves;
        std::map<std::uint32_t, std::vector<std::uint16_t>> freeblocks;
        dbrecover::ScanStats stats;
    };
    Walk Scan(const std::string& path, const dbrecover::TableLayout& layout) {
        Walk walk;
        RunWithin(std::chrono::seconds(30), "scanning a damaged table", [&] {
            auto file = platform::ReadOnlyFile::Open(path);
            ASSERT_TRUE(file);
            dbrecover::CarvedRowSink sink;
            dbrecover::PageScanner scanner(*file, layout, sink);
            walk.stats = scanner.Run();
            walk.leaves = scanner.leafPages();
            walk.freeblocks = scanner.freeblocks();
        });
        return walk;
    }

    std::string folder_;
    tools::SamplePhonePaths paths_;
};

TEST_F(HostilePhone, FreeblockChainThatLoopsEndsWhereItComesBack) {
    const auto layout = Layout(paths_.messagesBackup, TableKind::Messages);
    const Walk before = Scan(paths_.messagesBackup, layout);
    ASSERT_FALSE(before.freeblocks.empty());
    std::string bytes = Bytes(paths_.messagesBackup);
    // Every chain's last freeblock points back at the chain's first.
    for (const auto& [page, chain] : before.freeblocks) {
        const std::size_t pageStart = (std::size_t {page} - 1) * static_cast<std::size_t>(layout.pageSize);
        Put16(bytes, pageStart + chain.back(), chain.front());
    }
    Write(paths_.messagesBackup, bytes);
    const Walk after = Scan(paths_.messagesBackup, layout);
    EXPECT_EQ(after.freeblocks, before.freeblocks);
    EXPECT_EQ(after.stats.candidates, before.stats.candidates);
}

TEST_F(HostilePhone, FreeblockPointingAtItselfOrOutOfThePageEndsTheChain) {
    const auto layout = Layout(paths_.contactsBackup, TableKind::Contacts);
    const Walk before = Scan(paths_.contactsBackup, layout);
    ASSERT_FALSE(before.freeblocks.empty());
    std::string bytes = Bytes(paths_.contactsBackup);
    const auto& [page, chain] = *before.freeblocks.begin();
    const std::size_t pageStart = (std::size_t {page} - 1) * static_cast<std::size_t>(layout.pageSize);
    Put16(bytes, pageStart + chain.front(), chain.front());  // first block -> itself
    auto [page2, chain2] = *before.freeblocks.rbegin();
    const std::size_t pageStart2 = (std::size_t {page2} - 1) * static_cast<std::size_t>(layout.pageSize);
    Put16(bytes, pageStart2 + chain2.front(), 0xFFFF);  // first block -> past the page
    Write(paths_.contactsBackup, bytes);
    const Walk after = Scan(paths_.contactsBackup, layout);
    ASSERT_TRUE(after.freeblocks.count(page));
    EXPECT_EQ(after.freeblocks.at(page), std::vector<std::uint16_t> {chain.front()});
    if (page2 != page) {
        EXPECT_EQ(after.freeblocks.at(page2), std::vector<std::uint16_t> {chain2.front()});
    }
}

TEST_F(HostilePhone, BTreeThatLeadsBackToItsRootIsWalkedOnce) {
    const auto layout = Layout(paths_.contactsBackup, TableKind::Contacts);
    const Walk before = Scan(paths_.contactsBackup, layout);
    ASSERT_GE(before.leaves.size(), 2u) << "the sample's data table should have an interior root";
    std::string bytes = Bytes(paths_.contactsBackup);
    const std::size_t pageSize = static_cast<std::size_t>(layout.pageSize);
    const std::size_t root = (static_cast<std::size_t>(layout.rootPage) - 1) * pageSize;
    ASSERT_EQ(static_cast<std::uint8_t>(bytes[root]), 5);
    // The root's right-most child becomes the root itself, and the first leaf
    // becomes an interior page whose children are the root and itself.
    Put32(bytes, root + 8, static_cast<std::uint32_t>(layout.rootPage));
    const std::size_t leaf = (std::size_t {before.leaves.front()} - 1) * pageSize;
    bytes[leaf] = 5;
    Put32(bytes, leaf + 8, static_cast<std::uint32_t>(layout.rootPage));
    Put16(bytes, leaf + 3, 1);
    Put16(bytes, leaf + 12, 200);
    Put32(bytes, leaf + 200, before.leaves.front());
    Write(paths_.contactsBackup, bytes);
    const Walk after = Scan(paths_.contactsBackup, layout);
    EXPECT_LT(after.leaves.size(), before.leaves.size());
    const std::set<std::uint32_t> distinct(after.leaves.begin(), after.leaves.end());
    EXPECT_EQ(distinct.size(), after.leaves.size());
    // SQLite's own reading of the damaged copy ends as well.
    EXPECT_EQ(LoadPhone(paths_).progressPosts, 8);
}

TEST_F(HostilePhone, LeafClaimingAllCellsLeavesNoGapButTheRestIsCarved) {
    const auto layout = Layout(paths_.messagesBackup, TableKind::Messages);
    const Walk before = Scan(paths_.messagesBackup, layout);
    ASSERT_FALSE(before.leaves.empty());
    std::string bytes = Bytes(paths_.messagesBackup);
    const std::size_t pageStart = (std::size_t {before.leaves.front()} - 1) * static_cast<std::size_t>(layout.pageSize);
    Put16(bytes, pageStart + 3, 0xFFFF);
    Write(paths_.messagesBackup, bytes);
    const Walk after = Scan(paths_.messagesBackup, layout);
    EXPECT_EQ(after.leaves, before.leaves);
    EXPECT_LE(after.stats.regions, before.stats.regions);
    EXPECT_GT(after.stats.candidates, 0u);
    const LoadResult r = LoadPhone(paths_);
    EXPECT_EQ(r.progressPosts, 8);
}

TEST_F(HostilePhone, PageSizeFieldsSQLiteCannotHaveAreNotScanned) {
    for (const std::uint32_t field : {0u, 1u, 1000u, 3u, 0x8000u + 1}) {
        SCOPED_TRACE(field);
        for (const std::string& path : {paths_.contactsBackup, paths_.messagesBackup}) {
            std::string bytes = Bytes(path);
            Put16(bytes, 16, field);
            Write(path, bytes);
        }
        const LoadResult r = LoadPhone(paths_);
        EXPECT_EQ(r.progressPosts, 8);
        // The current copies are intact, so their live rows are still there.
        EXPECT_FALSE(r.contacts.empty());
        EXPECT_FALSE(r.threads.empty());
    }
    dbrecover::TableLayout layout = Layout(paths_.contacts, TableKind::Contacts);
    for (const std::uint32_t field : {0u, 1000u, 256u}) {
        layout.pageSize = static_cast<std::int32_t>(dbrecover::PageSizeFromField(field));
        EXPECT_EQ(Scan(paths_.contacts, layout).stats.leafPages, 0u);
    }
}

TEST_F(HostilePhone, TruncatedDatabasesGiveWhatTheyStillHold) {
    const std::string contacts = Bytes(paths_.contactsBackup);
    const std::string messages = Bytes(paths_.messagesBackup);
    for (const std::size_t keep : {std::size_t {0}, std::size_t {17}, std::size_t {100}, std::size_t {4096},
                                   contacts.size() / 2, contacts.size() / 2 + 1234, contacts.size() - 1}) {
        SCOPED_TRACE(keep);
        Write(paths_.contactsBackup, contacts.substr(0, keep));
        Write(paths_.messagesBackup, messages.substr(0, std::min(keep, messages.size())));
        const LoadResult r = LoadPhone(paths_);
        EXPECT_EQ(r.progressPosts, 8);
        EXPECT_FALSE(r.contacts.empty());
    }
}

TEST_F(HostilePhone, RandomDamageNeverCrashesOrHangs) {
    const std::string contacts[2] = {Bytes(paths_.contacts), Bytes(paths_.contactsBackup)};
    const std::string messages[2] = {Bytes(paths_.messages), Bytes(paths_.messagesBackup)};
    const std::string wal = Bytes(paths_.messages + "-wal");
    std::uint64_t state = 0x5EED;
    const auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        const std::string* sources[4] = {&contacts[0], &contacts[1], &messages[0], &messages[1]};
        const std::string targets[4] = {paths_.contacts, paths_.contactsBackup, paths_.messages, paths_.messagesBackup};
        for (int k = 0; k < 4; ++k) {
            std::string bytes = *sources[k];
            // Damage grows with the rounds: from a few bytes to one in fifty.
            const std::size_t hits = 4 + bytes.size() * static_cast<std::size_t>(round) / 1250;
            for (std::size_t h = 0; h < hits; ++h) bytes[next() % bytes.size()] = static_cast<char>(next());
            Write(targets[k], bytes);
        }
        Write(paths_.messages + "-wal", wal);
        const LoadResult r = LoadPhone(paths_);
        EXPECT_EQ(r.progressPosts, 8);
    }
}

}  // namespace
}  // namespace qb
