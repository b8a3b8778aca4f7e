// The recover job on its own: the folders and reports of the ticked
// contacts and conversations, the copies of found files (whole, stopped,
// cut short by the disk, two disks in one folder), a report that cannot be
// written, and a job with nothing ticked.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "output/recover_job.h"
#include "output/recover_state.h"
#include "platform/file.h"
#include "tests/support/temp_folder.h"

namespace qb::output {
namespace {

using dbrecover::ContactItem;

constexpr std::size_t kMiB = 1048576;

// Disk bytes made up on the fly: byte i is i * 7 + (i >> 16). Reads stop at
// failAt (a disk that gives no more), and the first `readsBeforeStop` reads
// are followed by a stop of the recover job.
class PatternDisk final : public platform::ByteSource {
public:
    explicit PatternDisk(std::uint64_t size, std::uint64_t failAt = UINT64_MAX, int readsBeforeStop = -1)
        : size_(size), failAt_(failAt), readsBeforeStop_(readsBeforeStop) {}
    static char At(std::uint64_t i) { return static_cast<char>(i * 7 + (i >> 16)); }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        if (readsBeforeStop_ >= 0 && ++reads_ > readsBeforeStop_) recoverState.store(kRecoverStopRequested);
        const std::uint64_t end = std::min(size_, failAt_);
        if (offset >= end) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(n, end - offset));
        for (std::size_t i = 0; i < got; ++i) static_cast<char*>(dst)[i] = At(offset + i);
        return got;
    }
    std::uint64_t Size() const override { return size_; }

private:
    std::uint64_t size_;
    std::uint64_t failAt_;
    int readsBeforeStop_;
    mutable int reads_ = 0;
};

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder))) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

RecoverFile File(std::shared_ptr<const platform::ByteSource> disk, std::uint64_t offset, std::uint64_t size,
                 const char* suffix) {
    RecoverFile file;
    file.item.offset = offset;
    file.item.size = size;
    file.item.name = std::to_string(offset / 512) + "." + suffix;
    file.input = std::move(disk);
    return file;
}

class RecoverJob : public ::testing::Test {
protected:
    void SetUp() override { recoverState.store(0); }
    void TearDown() override { recoverState.store(0); }

    std::vector<ContactItem*> Contacts(int count, int ticked) {
        std::vector<ContactItem*> list;
        for (int i = 0; i < count; ++i) {
            auto contact = std::make_unique<ContactItem>();
            contact->name = "Person " + std::to_string(i);
            contact->selected = i < ticked ? 1 : 0;
            list.push_back(contact.get());
            store_.push_back(std::move(contact));
        }
        return list;
    }
    RecoverOutcome Run(const std::vector<RecoverCategory>& categories, const std::string& templatePath = {}) {
        return RunRecoverJob(categories, root_.path(), progress_,
                             templatePath.empty() ? templates_.Write("template.html", kTemplate) : templatePath);
    }
    std::string Read(const std::string& path) { return platform::ReadWholeFile(path).value_or("<no file>"); }
    static std::string Pattern(std::uint64_t offset, std::uint64_t size) {
        std::string bytes;
        for (std::uint64_t i = 0; i < size; ++i) bytes += PatternDisk::At(offset + i);
        return bytes;
    }

    static constexpr const char* kTemplate = "<title></title><script>var data = [];</script>";
    qb::testsupport::ScopedTempFolder root_ {"qb-recover-root-"};
    qb::testsupport::ScopedTempFolder templates_ {"qb-recover-template-"};
    RecoverProgress progress_;
    std::vector<std::unique_ptr<ContactItem>> store_;
};

TEST_F(RecoverJob, TheContactsFolderCountsTheTickedContactsAndTheReportHoldsThem) {
    for (const int ticked : {7, 120}) {
        SetUp();
        const std::vector<ContactItem*> contacts = Contacts(120, ticked);
        RecoverCategory category;
        category.kind = kRecoverContacts;
        category.contacts = &contacts;
        const RecoverOutcome outcome = Run({category});
        const std::string label = "Contacts(" + std::to_string(ticked) + ")";
        const std::string report = Read(platform::JoinPath(platform::JoinPath(root_.path(), label), "Contacts.html"));
        // One row per contact under the header row.
        std::size_t rows = 1;
        for (std::size_t at = report.find("],["); at != std::string::npos; at = report.find("],[", at + 1)) ++rows;
        EXPECT_EQ(rows, static_cast<std::size_t>(ticked) + 1) << label;
        EXPECT_EQ(outcome.done, static_cast<std::uint64_t>(ticked));
        EXPECT_EQ(progress_.Read().done, outcome.total);
        EXPECT_EQ(progress_.Read().currentName, "Contacts");
        EXPECT_TRUE(outcome.problems.empty());
    }
}

TEST_F(RecoverJob, NothingTickedEndsAtOnceWithNothingWritten) {
    const std::vector<ContactItem*> contacts = Contacts(5, 0);
    RecoverCategory category;
    category.contacts = &contacts;
    RecoverCategory disk;
    disk.kind = kRecoverDisk;
    disk.groups.push_back({"jpg", {File(std::make_shared<PatternDisk>(kMiB), 0, 100, "jpg")}});
    disk.groups[0].files[0].selected = false;
    const RecoverOutcome outcome = Run({category, disk});
    const RecoverProgress::View view = progress_.Read();
    EXPECT_EQ(view.total, 0u);
    EXPECT_EQ(view.done, 0u);
    EXPECT_EQ(outcome.filesWhole + outcome.filesCutShort, 0u);
    EXPECT_TRUE(outcome.reports.empty());
    EXPECT_FALSE(platform::FolderExists(platform::JoinPath(root_.path(), "Contacts(0)")));
    EXPECT_EQ(RecoverSummary(outcome), "");
}

TEST_F(RecoverJob, FilesAreCopiedWholeAndTwoDisksInOneFolderNeverReplaceACopy) {
    auto disk = std::make_shared<PatternDisk>(4 * kMiB);
    RecoverCategory first;
    first.kind = kRecoverDisk;
    first.diskName = "first";
    first.groups.push_back({"jpg", {File(disk, 1024, 3 * kMiB + 100, "jpg"), File(disk, 512, 600, "jpg")}});
    RecoverCategory second = first;
    second.diskName = "second";
    second.groups[0].files.pop_back();
    // Written within one second, both disks share their folder (the job is
    // run again when a second boundary fell between them).
    RecoverOutcome outcome;
    std::vector<std::string> disks;
    for (int attempt = 0; attempt < 3 && disks.size() != 1; ++attempt) {
        platform::RemoveFolderTree(root_.path());
        platform::CreateFolders(root_.path());
        outcome = Run({first, second});
        disks = Entries(root_.path());
    }
    ASSERT_EQ(disks.size(), 1u);
    const std::string jpg = platform::JoinPath(platform::JoinPath(root_.path(), disks[0]), "jpg");
    EXPECT_EQ(Read(platform::JoinPath(jpg, "2.jpg")), Pattern(1024, 3 * kMiB + 100));
    EXPECT_EQ(Read(platform::JoinPath(jpg, "2 (2).jpg")), Pattern(1024, 3 * kMiB + 100));
    EXPECT_EQ(Read(platform::JoinPath(jpg, "1.jpg")), Pattern(512, 600));
    EXPECT_EQ(outcome.filesWhole, 3u);
    EXPECT_EQ(outcome.done, 3u);
    EXPECT_EQ(progress_.Read().currentName, "second");
    EXPECT_EQ(RecoverSummary(outcome), "3 files written whole.");
}

TEST_F(RecoverJob, ACopyStoppedOrCutShortByTheDiskIsKeptAsPartial) {
    struct Case {
        const char* what;
        std::shared_ptr<PatternDisk> disk;
        std::uint64_t kept;  // bytes of the partial copy
        bool stopped;
    };
    const Case cases[] = {
        {"stopped after its first piece", std::make_shared<PatternDisk>(8 * kMiB, UINT64_MAX, 1), kMiB, true},
        {"the disk fails past 1.5 MiB", std::make_shared<PatternDisk>(8 * kMiB, kMiB + kMiB / 2), kMiB + kMiB / 2,
         false},
    };
    for (const Case& c : cases) {
        SetUp();
        platform::RemoveFolderTree(root_.path());
        platform::CreateFolders(root_.path());
        RecoverCategory disk;
        disk.kind = kRecoverDisk;
        disk.groups.push_back({"mov", {File(c.disk, 0, 6 * kMiB, "mov"), File(c.disk, 7 * kMiB, 1000, "mov")}});
        const RecoverOutcome outcome = Run({disk});
        const std::vector<std::string> disks = Entries(root_.path());
        ASSERT_EQ(disks.size(), 1u) << c.what;
        const std::string mov = platform::JoinPath(platform::JoinPath(root_.path(), disks[0]), "mov");
        EXPECT_FALSE(platform::FileExists(platform::JoinPath(mov, "0.mov"))) << c.what;
        EXPECT_EQ(Read(platform::JoinPath(mov, "0.mov.partial")), Pattern(0, c.kept)) << c.what;
        EXPECT_EQ(outcome.stopped, c.stopped) << c.what;
        // A stop ends the job before the next file; a failing disk does not.
        EXPECT_EQ(outcome.filesCutShort, c.stopped ? 1u : 2u) << c.what;
        EXPECT_EQ(outcome.done, c.stopped ? 1u : 2u) << c.what;
        EXPECT_NE(RecoverSummary(outcome).find("cut short (kept as .partial)"), std::string::npos) << c.what;
    }
}

TEST_F(RecoverJob, AReportThatCannotBeWrittenIsNamedAndNotCountedAsDone) {
    const std::vector<ContactItem*> contacts = Contacts(3, 3);
    RecoverCategory category;
    category.contacts = &contacts;
    const RecoverOutcome outcome = Run({category}, platform::JoinPath(templates_.path(), "missing.html"));
    EXPECT_EQ(outcome.total, 3u);
    EXPECT_EQ(outcome.done, 0u);
    ASSERT_EQ(outcome.problems.size(), 1u);
    EXPECT_NE(RecoverSummary(outcome).find("Could not write"), std::string::npos);
    EXPECT_NE(RecoverSummary(outcome).find("missing.html"), std::string::npos);
}

}  // namespace
}  // namespace qb::output
