// Acquisition: the working folders, the deletion of copies, and a whole
// acquisition through the fake bridge client for each kind of phone, down
// to the hand-over of the copies to the loaders.
#include "device/acquisition.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dbrecover/recovery_driver.h"
#include "platform/file.h"
#include "tests/device/fake_phone.h"
#include "tools/sample_phone/sample_phone.h"

#include "tests/support/open_handles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <filesystem>
#include <sys/wait.h>
#endif

namespace qb::device {
namespace {

using testsupport::FakePhone;
using testsupport::Invocation;
using Message = std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>;

struct Recorder {
    std::vector<Message> messages;
    platform::CallbackNotifier notifier {[this](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
        messages.emplace_back(m, w, l);
    }};
};

std::vector<std::string> AllFiles(const WorkPaths& p) {
    return {p.contactsDb, p.contactsShm, p.contactsWal, p.contactsBackup,
            p.messagesDb, p.messagesShm, p.messagesWal, p.messagesBackup};
}

std::vector<std::string> ExistingFiles(const WorkPaths& p) {
    std::vector<std::string> found;
    for (const std::string& f : AllFiles(p)) {
        if (platform::FileExists(f)) found.push_back(f);
    }
    return found;
}

// Puts every remote file on the phone with bytes that name it.
void PutAll(const FakePhone& phone, bool contactsCompanions = true) {
    for (const RemoteFile& f : kRemoteFiles) {
        const std::string remote = f.remotePath;
        const bool companion = remote.back() != 'b';
        if (companion && !contactsCompanions && remote.find("contacts") != std::string::npos) continue;
        phone.Put(remote, "bytes of " + remote);
    }
}

// ------------------------------------------------------------ work paths

TEST(WorkPathsLayout, NamesEveryCopyUnderTheTemporaryFolder) {
    testsupport::ScopedTempFolder temp("qb-paths-");
    // The temporary folder as the system reports it, with its trailing
    // separator; the names below it joined by the same separator.
    const WorkPaths p = BuildWorkPaths(temp.path() + platform::PathSeparator());
    const auto t = [&temp](std::string relative) {
        for (char& c : relative) {
            if (c == '/') c = platform::PathSeparator();
        }
        return temp.path() + platform::PathSeparator() + relative;
    };
    EXPECT_EQ(p.contactsFolder, t("Velmora"));
    EXPECT_EQ(p.pictureFolder, t("Velmora/picture/"));
    EXPECT_EQ(p.contactsBackupFolder, t("Velmora/bak"));
    EXPECT_EQ(p.contactsDb, t("Velmora/contacts2.db"));
    EXPECT_EQ(p.contactsShm, t("Velmora/contacts2.db-shm"));
    EXPECT_EQ(p.contactsWal, t("Velmora/contacts2.db-wal"));
    EXPECT_EQ(p.contactsBackup, t("Velmora/bak/contacts2.db"));
    EXPECT_EQ(p.messagesFolder, t("velmora-quillbrook"));
    EXPECT_EQ(p.messagesBackupFolder, t("velmora-quillbrook/bak"));
    EXPECT_EQ(p.messagesDb, t("velmora-quillbrook/mmssms.db"));
    EXPECT_EQ(p.messagesShm, t("velmora-quillbrook/mmssms.db-shm"));
    EXPECT_EQ(p.messagesWal, t("velmora-quillbrook/mmssms.db-wal"));
    EXPECT_EQ(p.messagesBackup, t("velmora-quillbrook/bak/mmssms.db"));
    for (const std::string& folder :
         {p.contactsFolder, p.pictureFolder, p.contactsBackupFolder, p.messagesFolder, p.messagesBackupFolder}) {
        EXPECT_TRUE(platform::FolderExists(folder)) << folder;
    }
    // Without the trailing separator the same paths come out.
    EXPECT_EQ(BuildWorkPaths(temp.path()).messagesBackup, p.messagesBackup);
}

TEST(WorkPathsLayout, StartingDeletesStaleCopiesButKeepsCompanions) {
    testsupport::ScopedTempFolder temp("qb-paths-");
    const WorkPaths first = BuildWorkPaths(temp.path());
    for (const std::string& f : AllFiles(first)) ASSERT_TRUE(platform::WriteWholeFile(f, "stale"));
    const WorkPaths again = BuildWorkPaths(temp.path());
    EXPECT_EQ(ExistingFiles(again), (std::vector<std::string> {again.contactsShm, again.contactsWal,
                                                                again.messagesShm, again.messagesWal}));
}

TEST(WorkPathsLayout, DeleteDatabaseCopiesDeletesExactlyTheFourCopies) {
    testsupport::ScopedTempFolder temp("qb-paths-");
    const WorkPaths p = BuildWorkPaths(temp.path());
    DeleteDatabaseCopies(p);  // nothing there: no error, nothing made
    EXPECT_TRUE(ExistingFiles(p).empty());
    for (const std::string& f : AllFiles(p)) ASSERT_TRUE(platform::WriteWholeFile(f, "x"));
    ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(p.pictureFolder, "1.jpg"), "x"));
    DeleteDatabaseCopies(p);
    EXPECT_EQ(ExistingFiles(p),
              (std::vector<std::string> {p.contactsShm, p.contactsWal, p.messagesShm, p.messagesWal}));
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(p.pictureFolder, "1.jpg")));
}

// ------------------------------------------------------------ acquisition

class Acquisition : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::CreateFolder(phone_.Scratch("temp")));
        paths_ = BuildWorkPaths(phone_.Scratch("temp"));
    }
    std::vector<Message> Acquire() {
        AcquireDatabases(paths_, recorder_.notifier, phone_.Options());
        return recorder_.messages;
    }
    static std::vector<Message> Done(DeviceState state) {
        return {Message {WMU_ACQUISITION_DONE, static_cast<std::uintptr_t>(state), 0}};
    }

    FakePhone phone_;
    WorkPaths paths_;
    Recorder recorder_;
};

TEST_F(Acquisition, NoDeviceCopiesNothing) {
    PutAll(phone_);
    phone_.SetState("none");
    EXPECT_EQ(Acquire(), Done(DeviceState::NoDevice));
    EXPECT_EQ(WMU_ACQUISITION_DONE, 1137u);
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    EXPECT_EQ(phone_.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}}));
}

TEST_F(Acquisition, AMissingClientIsNoDevice) {
    AdbOptions options = phone_.Options();
    options.clientPath = phone_.Scratch("missing-client");
    AcquireDatabases(paths_, recorder_.notifier, options);
    EXPECT_EQ(recorder_.messages, Done(DeviceState::NoDevice));
    EXPECT_TRUE(ExistingFiles(paths_).empty());
}

TEST_F(Acquisition, AnUnauthorisedOrOfflinePhoneCopiesNothing) {
    PutAll(phone_);
    phone_.SetState("unauthorized");
    EXPECT_EQ(Acquire(), Done(DeviceState::NeedsAuthorization));
    phone_.SetState("offline");
    recorder_.messages.clear();
    EXPECT_EQ(Acquire(), Done(DeviceState::NeedsAuthorization));
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    for (const RemoteFile& f : kRemoteFiles) EXPECT_EQ(phone_.Mode(f.remotePath), "660");
}

TEST_F(Acquisition, AReadyPhoneGivesSixFilesAndTwoBackups) {
    PutAll(phone_);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    for (const RemoteFile& f : kRemoteFiles) {
        EXPECT_EQ(platform::ReadWholeFile(paths_.*f.localPath).value_or("missing"),
                  std::string("bytes of ") + f.remotePath);
        EXPECT_EQ(phone_.Mode(f.remotePath), "660") << f.remotePath;
    }
    EXPECT_EQ(platform::ReadWholeFile(paths_.contactsBackup).value_or(""),
              platform::ReadWholeFile(paths_.contactsDb).value_or("missing"));
    EXPECT_EQ(platform::ReadWholeFile(paths_.messagesBackup).value_or(""),
              platform::ReadWholeFile(paths_.messagesDb).value_or("missing"));

    // One device query, then four commands per file, each after a server
    // start: 2 + 6 x 8 client runs, in the table's order.
    const std::vector<Invocation> calls = phone_.Invocations();
    ASSERT_EQ(calls.size(), 50u);
    EXPECT_EQ(calls[0], Invocation {"start-server"});
    EXPECT_EQ(calls[1], Invocation {"devices"});
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string remote = kRemoteFiles[i].remotePath;
        const std::size_t at = 2 + i * 8;
        for (std::size_t k = 0; k < 8; k += 2) EXPECT_EQ(calls[at + k], Invocation {"start-server"});
        EXPECT_EQ(calls[at + 1], (Invocation {"shell", "su", "root", "stat", "-c", "%a", remote}));
        EXPECT_EQ(calls[at + 3], (Invocation {"shell", "su", "root", "chmod", "777", remote}));
        EXPECT_EQ(calls[at + 5], (Invocation {"pull", remote, paths_.*kRemoteFiles[i].localPath}));
        EXPECT_EQ(calls[at + 7], (Invocation {"shell", "su", "root", "chmod", "660", remote}));
    }
}

TEST_F(Acquisition, WithoutCompanionsOnThePhoneNoOldCompanionStaysBesideTheNewCopy) {
    // A log left from an earlier phone would be read as this copy's log.
    ASSERT_TRUE(platform::WriteWholeFile(paths_.contactsWal, "log of an earlier phone"));
    ASSERT_TRUE(platform::WriteWholeFile(paths_.contactsShm, "index of an earlier phone"));
    PutAll(phone_, /*contactsCompanions=*/false);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(ExistingFiles(paths_), (std::vector<std::string> {paths_.contactsDb, paths_.contactsBackup,
                                                                 paths_.messagesDb, paths_.messagesShm,
                                                                 paths_.messagesWal, paths_.messagesBackup}));
}

TEST_F(Acquisition, APhoneWithoutSuGivesNoFileAndNothingIsReported) {
    PutAll(phone_);
    phone_.SetSu(false);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    for (const RemoteFile& f : kRemoteFiles) EXPECT_EQ(phone_.Mode(f.remotePath), "660");
}

TEST_F(Acquisition, ATemporaryFolderWithSpacesWorks) {
    ASSERT_TRUE(platform::CreateFolders(phone_.Scratch("Documents and Settings/Jane Doe/Local Settings/Temp")));
    paths_ = BuildWorkPaths(phone_.Scratch("Documents and Settings/Jane Doe/Local Settings/Temp"));
    PutAll(phone_);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(ExistingFiles(paths_).size(), 8u);
    EXPECT_NE(paths_.contactsDb.find("Jane Doe"), std::string::npos);
}

TEST_F(Acquisition, TheCopiesOfASamplePhoneLoadAsTheSampleItself) {
    // The hand-over to the loaders: the acquired current and backup copies
    // give what the generated phone's own copies give.
    const std::string sampleFolder = phone_.Scratch("sample");
    std::string error;
    ASSERT_TRUE(tools::GenerateSamplePhone(sampleFolder, {}, &error)) << error;
    const tools::SamplePhonePaths sample = tools::SamplePhoneLayout(sampleFolder);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        for (const auto& [local, remote] :
             {std::pair {sample.contacts, kRemoteFiles[0].remotePath}, {sample.messages, kRemoteFiles[3].remotePath}}) {
            if (auto bytes = platform::ReadWholeFile(local + suffix)) phone_.Put(std::string(remote) + suffix, *bytes);
        }
    }
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));

    auto load = [](const std::string& contacts, const std::string& contactsBackup, const std::string& messages,
                   const std::string& messagesBackup) {
        platform::CallbackNotifier quiet(nullptr);
        dbrecover::ContactMap contactMap;
        dbrecover::ThreadMap threadMap;
        dbrecover::LoadContacts(contacts, contactsBackup, contactMap, quiet);
        dbrecover::LoadMessages(contactMap, messages, messagesBackup, threadMap, quiet);
        std::size_t deletedContacts = 0, deletedThreads = 0, messageCount = 0;
        for (const auto& [key, c] : contactMap) deletedContacts += c.deleted;
        for (const auto& [key, t] : threadMap) {
            deletedThreads += t.deleted;
            messageCount += t.messages.size();
        }
        return std::vector<std::size_t> {contactMap.size(), deletedContacts, threadMap.size(), deletedThreads,
                                         messageCount};
    };
    const auto acquired = load(paths_.contactsDb, paths_.contactsBackup, paths_.messagesDb, paths_.messagesBackup);
    const auto expected = load(sample.contacts, sample.contactsBackup, sample.messages, sample.messagesBackup);
    EXPECT_EQ(acquired, expected);
    EXPECT_GT(acquired[1], 0u);
    EXPECT_GT(acquired[3], 0u);
}

#ifdef _WIN32
TEST_F(Acquisition, LeavesNoHandleBehind) {
    const auto handles = testsupport::OpenHandles;
    PutAll(phone_);
    phone_.HangOn({"kill-server"});
    KillServer(phone_.Options(std::chrono::milliseconds(200)));  // what a first run sets up for good
    const DWORD before = handles();
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    KillServer(phone_.Options(std::chrono::milliseconds(200)));
    EXPECT_EQ(handles(), before);
}
#else
TEST_F(Acquisition, LeavesNoDescriptorOrChildBehind) {
    auto descriptors = [] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
        return n;
    };
    PutAll(phone_);
    phone_.HangOn({"kill-server"});
    const std::size_t before = descriptors();
    Acquire();
    KillServer(phone_.Options(std::chrono::milliseconds(200)));
    EXPECT_EQ(descriptors(), before);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}
#endif

}  // namespace
}  // namespace qb::device
