// Acquisition: the working folders, the deletion of copies, and a whole
// acquisition through the fake bridge client for each kind of phone (the
// Android build's su or a root manager's, SELinux, the Android 7 layout, a
// terminal shell, several devices, a phone unplugged mid-copy, a stop while
// the client hangs), down to the hand-over of the copies to the loaders.
#include "device/acquisition.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "dbrecover/recovery_driver.h"
#include "platform/file.h"
#include "tests/device/fake_phone.h"
#include "tools/fake_adb/fake_phone_layout.h"
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

using namespace std::chrono_literals;
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
    return {p.contactsDb, p.contactsShm, p.contactsWal, p.contactsJournal, p.contactsBackup,
            p.messagesDb, p.messagesShm, p.messagesWal, p.messagesJournal, p.messagesBackup};
}

constexpr const char* kSerial = "0123456789ABCDEF";
const std::string kContacts = RemoteDatabasePath(kDatabaseFolders[0], kProviderDatabases[0]);
const std::string kMessages = RemoteDatabasePath(kDatabaseFolders[0], kProviderDatabases[1]);
const std::string kMessages7 = RemoteDatabasePath(kDatabaseFolders[1], kProviderDatabases[1]);

// Bytes that a line-end translation or a text read would change.
std::string BinaryBytes(const std::string& name) {
    std::string bytes = "SQLite format 3";
    bytes += std::string("\0\r\n\n\x1a\xff", 6) + name;
    for (int i = 0; i < 3000; ++i) bytes += static_cast<char>((i * 31) & 0xFF);
    return bytes;
}

// The invocations addressed to the device, without their "-s SERIAL"; the
// device list and server starts are left out.
std::vector<Invocation> DeviceCommands(const std::vector<Invocation>& log, const std::string& serial = kSerial) {
    std::vector<Invocation> commands;
    for (const Invocation& call : log) {
        if (call.size() > 2 && call[0] == "-s" && call[1] == serial) commands.emplace_back(call.begin() + 2, call.end());
    }
    return commands;
}

std::vector<std::string> ExistingFiles(const WorkPaths& p) {
    std::vector<std::string> found;
    for (const std::string& f : AllFiles(p)) {
        if (platform::FileExists(f)) found.push_back(f);
    }
    return found;
}

// Puts both databases with their -shm and -wal on the phone, with bytes
// that name them.
void PutAll(const FakePhone& phone, bool contactsCompanions = true, const std::string& messages = kMessages) {
    for (const std::string& db : {kContacts, messages}) {
        for (const char* suffix : {"", "-shm", "-wal"}) {
            if (*suffix && !contactsCompanions && db == kContacts) continue;
            phone.Put(db + suffix, BinaryBytes(db + suffix));
        }
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
    EXPECT_EQ(p.contactsJournal, t("Velmora/contacts2.db-journal"));
    EXPECT_EQ(p.contactsBackup, t("Velmora/bak/contacts2.db"));
    EXPECT_EQ(p.messagesFolder, t("velmora-quillbrook"));
    EXPECT_EQ(p.messagesBackupFolder, t("velmora-quillbrook/bak"));
    EXPECT_EQ(p.messagesDb, t("velmora-quillbrook/mmssms.db"));
    EXPECT_EQ(p.messagesShm, t("velmora-quillbrook/mmssms.db-shm"));
    EXPECT_EQ(p.messagesWal, t("velmora-quillbrook/mmssms.db-wal"));
    EXPECT_EQ(p.messagesJournal, t("velmora-quillbrook/mmssms.db-journal"));
    EXPECT_EQ(p.messagesBackup, t("velmora-quillbrook/bak/mmssms.db"));
    for (const std::string& folder :
         {p.contactsFolder, p.pictureFolder, p.contactsBackupFolder, p.messagesFolder, p.messagesBackupFolder}) {
        EXPECT_TRUE(platform::FolderExists(folder)) << folder;
    }
    // Without the trailing separator the same paths come out.
    EXPECT_EQ(BuildWorkPaths(temp.path()).messagesBackup, p.messagesBackup);
}

TEST(WorkPathsLayout, StartingDeletesStaleCopies) {
    testsupport::ScopedTempFolder temp("qb-paths-");
    const WorkPaths first = BuildWorkPaths(temp.path());
    EXPECT_EQ(first.folderProblem, "");
    for (const std::string& f : AllFiles(first)) ASSERT_TRUE(platform::WriteWholeFile(f, "stale"));
    const WorkPaths again = BuildWorkPaths(temp.path());
    // The folders are made afresh (kept on Windows), with no copy or
    // companion of the earlier run in them.
    EXPECT_EQ(ExistingFiles(again), std::vector<std::string> {});
    EXPECT_TRUE(platform::FolderExists(again.pictureFolder));
    RemoveWorkFolders(again);
    EXPECT_FALSE(platform::FolderExists(again.contactsFolder));
    EXPECT_FALSE(platform::FolderExists(again.messagesFolder));
}

TEST(WorkPathsLayout, DeleteDatabaseCopiesDeletesTheCopiesAndTheirCompanions) {
    testsupport::ScopedTempFolder temp("qb-paths-");
    const WorkPaths p = BuildWorkPaths(temp.path());
    DeleteDatabaseCopies(p);  // nothing there: no error, nothing made
    EXPECT_TRUE(ExistingFiles(p).empty());
    for (const std::string& f : AllFiles(p)) ASSERT_TRUE(platform::WriteWholeFile(f, "x"));
    ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(p.pictureFolder, "1.jpg"), "x"));
    DeleteDatabaseCopies(p);
    EXPECT_TRUE(ExistingFiles(p).empty());
    // The picture cache is another matter.
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(p.pictureFolder, "1.jpg")));
}

// ------------------------------------------------------------ acquisition

class Acquisition : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::CreateFolder(phone_.Scratch("temp")));
        paths_ = BuildWorkPaths(phone_.Scratch("temp"));
    }
    std::vector<Message> Acquire(const AdbOptions& options) {
        report_ = AcquireDatabases(paths_, recorder_.notifier, options);
        return recorder_.messages;
    }
    std::vector<Message> Acquire() { return Acquire(phone_.Options()); }
    static std::vector<Message> Done(DeviceState state) {
        return {Message {WMU_ACQUISITION_DONE, static_cast<std::uintptr_t>(state), 0}};
    }
    // The local copy, byte for byte the phone's, for each remote file.
    void ExpectCopied(const std::vector<std::pair<std::string, std::string>>& remoteToLocal) {
        for (const auto& [remote, local] : remoteToLocal) {
            EXPECT_TRUE(platform::ReadWholeFile(local).value_or("missing") == BinaryBytes(remote)) << local;
        }
    }
    std::vector<std::string> Problems() const {
        std::vector<std::string> problems;
        for (const FileCopy& f : report_.files) {
            if (f.outcome != CopyOutcome::Copied && f.outcome != CopyOutcome::Absent) {
                problems.push_back(f.remotePath + " " + std::string(CopyOutcomeName(f.outcome)));
            }
        }
        return problems;
    }

    FakePhone phone_;
    WorkPaths paths_;
    Recorder recorder_;
    AcquisitionReport report_;
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
    EXPECT_EQ(Acquire(options), Done(DeviceState::NoDevice));
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
    EXPECT_EQ(phone_.Mode(kContacts), "660");
}

TEST_F(Acquisition, TheAndroidBuildsSuGetsThePullRoadWithEveryModePutBack) {
    PutAll(phone_);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(report_.superuser, SuperuserForm::UserCommand);
    std::vector<Invocation> expected = {{"shell", "su", "root", "id"}};
    for (const auto& [db, local] : {std::pair {kContacts, paths_.contactsDb}, {kMessages, paths_.messagesDb}}) {
        expected.push_back({"shell", "su", "root", "ls", db});
        for (const char* suffix : {"", "-shm", "-wal"}) {
            const std::string f = db + suffix;
            expected.push_back({"shell", "su", "root", "stat", "-c", "%a", f});
            expected.push_back({"shell", "su", "root", "chmod", "777", f});
            expected.push_back({"pull", f, local + suffix});
            expected.push_back({"shell", "su", "root", "chmod", "660", f});
        }
        expected.push_back({"shell", "su", "root", "stat", "-c", "%a", db + "-journal"});
    }
    const std::vector<Invocation> log = phone_.Invocations();
    EXPECT_EQ(DeviceCommands(log), expected);
    // The device list, then every device command after a server start.
    ASSERT_EQ(log.size(), 2 + 2 * expected.size());
    for (std::size_t i = 0; i < log.size(); i += 2) EXPECT_EQ(log[i], Invocation {"start-server"}) << i;
    EXPECT_EQ(log[1], Invocation {"devices"});
    ExpectCopied({{kContacts, paths_.contactsDb}, {kContacts + "-wal", paths_.contactsWal},
                  {kMessages + "-shm", paths_.messagesShm}, {kMessages, paths_.messagesBackup}});
    EXPECT_EQ(Problems(), std::vector<std::string> {});
}

TEST_F(Acquisition, ARootManagersSuUnderSelinuxOnAndroid7GetsTheStreamRoad) {
    PutAll(phone_, true, kMessages7);
    phone_.Put(kMessages + "-journal", "a file of another database in the old folder");
    phone_.SetSuKind("manager");
    phone_.SetSelinux(true);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(report_.superuser, SuperuserForm::DashC);
    const auto root = [](const std::string& line) { return Invocation {"shell", "su", "-c", "'" + line + "'"}; };
    std::vector<Invocation> expected = {{"shell", "su", "root", "id"}, {"shell", "su", "-c", "id"}};
    expected.push_back(root("ls " + kContacts));
    // One pull is tried and refused; its mode goes back.
    expected.push_back(root("stat -c %a " + kContacts));
    expected.push_back(root("chmod 777 " + kContacts));
    expected.push_back({"pull", kContacts, paths_.contactsDb});
    expected.push_back(root("chmod 660 " + kContacts));
    for (const auto& [db, local] : {std::pair {kContacts, paths_.contactsDb}, {kMessages7, paths_.messagesDb}}) {
        if (db == kMessages7) {
            expected.push_back(root("ls " + kMessages));
            expected.push_back(root("ls " + kMessages7));
        }
        for (const char* suffix : {"", "-shm", "-wal"}) {
            expected.push_back(root("stat -c %s " + db + suffix));
            expected.push_back({"exec-out", "su", "-c", "'cat " + db + suffix + "'"});
        }
        expected.push_back(root("stat -c %s " + db + "-journal"));
    }
    EXPECT_EQ(DeviceCommands(phone_.Invocations()), expected);
    ExpectCopied({{kContacts, paths_.contactsDb}, {kContacts + "-shm", paths_.contactsShm},
                  {kMessages7, paths_.messagesDb}, {kMessages7 + "-wal", paths_.messagesWal},
                  {kMessages7, paths_.messagesBackup}});
    EXPECT_FALSE(platform::FileExists(paths_.messagesJournal));
    EXPECT_EQ(Problems(), std::vector<std::string> {});
}

TEST_F(Acquisition, EveryKindOfPhoneGivesEveryFileByteForByteAndKeepsItsModes) {
    const struct {
        const char* su;
        bool selinux, android7, pty, journal;
    } phones[] = {
        {"aosp", false, false, true, true},
        {"aosp", true, true, false, false},
        {"manager", false, true, true, true},
        {"manager", true, false, true, false},
    };
    for (const auto& kind : phones) {
        const std::string what = std::string(kind.su) + (kind.selinux ? " selinux" : "") +
                                 (kind.android7 ? " android7" : "") + (kind.pty ? " pty" : "");
        FakePhone phone;
        const std::string messages = kind.android7 ? kMessages7 : kMessages;
        PutAll(phone, true, messages);
        if (kind.journal) phone.Put(kContacts + "-journal", BinaryBytes(kContacts + "-journal"));
        phone.SetMode(messages, "600");
        const std::vector<std::string> before = phone.Files();
        phone.SetSuKind(kind.su);
        phone.SetSelinux(kind.selinux);
        phone.SetPty(kind.pty);
        ASSERT_TRUE(platform::CreateFolder(phone.Scratch("temp")));
        paths_ = BuildWorkPaths(phone.Scratch("temp"));
        recorder_.messages.clear();
        EXPECT_EQ(Acquire(phone.Options()), Done(DeviceState::Ready)) << what;
        EXPECT_EQ(Problems(), std::vector<std::string> {}) << what;
        ExpectCopied({{kContacts, paths_.contactsDb}, {kContacts + "-shm", paths_.contactsShm},
                      {kContacts + "-wal", paths_.contactsWal}, {messages, paths_.messagesDb},
                      {messages + "-shm", paths_.messagesShm}, {messages + "-wal", paths_.messagesWal},
                      {kContacts, paths_.contactsBackup}, {messages, paths_.messagesBackup}});
        EXPECT_EQ(platform::FileExists(paths_.contactsJournal), kind.journal) << what;
        EXPECT_EQ(phone.Mode(kContacts), "660") << what;
        EXPECT_EQ(phone.Mode(messages), "600") << what;
        // Nothing was left on the phone, in its temporary folders or elsewhere.
        EXPECT_EQ(phone.Files(), before) << what;
        for (const Invocation& call : phone.Invocations()) {
            // Every device command names the device; no file comes through
            // a shell.
            if (call[0] != "start-server" && call[0] != "devices") {
                EXPECT_EQ(call[0], "-s") << what;
            }
            if (call.size() > 2 && call[2] == "shell") {
                for (const std::string& word : call) EXPECT_EQ(word.find("cat "), std::string::npos) << what;
            }
        }
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

TEST_F(Acquisition, APhoneWithoutSuGivesNoFileAndSaysSo) {
    PutAll(phone_);
    phone_.SetSu(false);
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(report_.superuser, SuperuserForm::None);
    EXPECT_TRUE(report_.files.empty());
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    EXPECT_EQ(phone_.Mode(kContacts), "660");
}

TEST_F(Acquisition, ADatabaseInNoFolderIsNamedMissing) {
    phone_.Put(kContacts, BinaryBytes(kContacts));
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(Problems(), std::vector<std::string> {kMessages + " missing"});
    EXPECT_NE(report_.files.back().detail.find(kMessages7), std::string::npos) << report_.files.back().detail;
    ExpectCopied({{kContacts, paths_.contactsDb}});
}

TEST_F(Acquisition, TheFirstReadyDeviceOrTheChosenOneIsRead) {
    PutAll(phone_);
    phone_.SetSerial("R58M12ABCDE");
    phone_.SetOthers("emulator-5554 offline\n");
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(report_.serial, "R58M12ABCDE");
    EXPECT_EQ(report_.devices, (std::vector<ListedDevice> {{"emulator-5554", "offline"}, {"R58M12ABCDE", "device"}}));
    ExpectCopied({{kContacts, paths_.contactsDb}});

    // Two ready devices: the first is read, unless another is named.
    phone_.SetOthers("emulator-5554 device\n");
    Acquire();
    EXPECT_EQ(report_.serial, "emulator-5554");
    EXPECT_EQ(report_.superuser, SuperuserForm::None);  // the emulator has no su
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    AdbOptions chosen = phone_.Options();
    chosen.serial = "R58M12ABCDE";
    Acquire(chosen);
    EXPECT_EQ(report_.serial, "R58M12ABCDE");
    EXPECT_EQ(Problems(), std::vector<std::string> {});
    ExpectCopied({{kMessages, paths_.messagesDb}});
    chosen.serial = "ZZZ";
    recorder_.messages.clear();
    EXPECT_EQ(Acquire(chosen), Done(DeviceState::NoDevice));
}

TEST_F(Acquisition, APhoneUnpluggedMidCopyLeavesNoPartialCopyAndIsNamed) {
    for (const bool selinux : {false, true}) {
        PutAll(phone_);
        phone_.SetState("device");
        phone_.SetSelinux(selinux);
        phone_.VanishAfter(100);
        Acquire();
        EXPECT_FALSE(platform::FileExists(paths_.contactsDb)) << selinux;
        EXPECT_TRUE(ExistingFiles(paths_).empty()) << selinux;
        ASSERT_FALSE(report_.files.empty());
        EXPECT_EQ(report_.files.front().remotePath, kContacts);
        EXPECT_EQ(report_.files.front().outcome, selinux ? CopyOutcome::CutShort : CopyOutcome::Disconnected);
        EXPECT_EQ(report_.files.back().outcome, CopyOutcome::Disconnected) << selinux;
        if (selinux) {
            EXPECT_EQ(report_.files.front().detail,
                      "100 of " + std::to_string(BinaryBytes(kContacts).size()) + " bytes arrived");
        }
    }
}

TEST_F(Acquisition, AStopWhileTheClientHangsEndsAtOnceAndPutsTheModeBack) {
    for (const char* hanging : {"pull", "exec-out"}) {
        FakePhone phone;
        PutAll(phone);
        phone.SetSelinux(std::string(hanging) == "exec-out");
        phone.HangOn({hanging});
        ASSERT_TRUE(platform::CreateFolder(phone.Scratch("temp")));
        paths_ = BuildWorkPaths(phone.Scratch("temp"));
        AdbOptions options = phone.Options(60s, 60s);
        options.copyLimit = 60s;
        std::stop_source stop;
        std::atomic<bool> done {false};
        recorder_.messages.clear();
        std::thread worker([&] {
            report_ = AcquireDatabases(paths_, recorder_.notifier, options, stop.get_token());
            done = true;
        });
        const auto hangs = [&] {
            for (const Invocation& call : phone.Invocations()) {
                if (call.size() > 2 && call[2] == hanging) return true;
            }
            return false;
        };
        for (int i = 0; i < 500 && !hangs(); ++i) std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(hangs()) << hanging;
        std::this_thread::sleep_for(100ms);
        const auto start = std::chrono::steady_clock::now();
        stop.request_stop();
        worker.join();
        // Far below the minute a client that is waited for would take.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << hanging;
        EXPECT_TRUE(done);
        EXPECT_TRUE(report_.stopped);
        EXPECT_TRUE(recorder_.messages.empty()) << "a stopped acquisition reports to nobody";
        EXPECT_EQ(report_.files.back().outcome, CopyOutcome::Stopped);
        EXPECT_TRUE(ExistingFiles(paths_).empty()) << hanging;
        EXPECT_EQ(phone.Mode(kContacts), "660") << hanging;
    }
}

TEST_F(Acquisition, WorkingFoldersThatAreNotPrivateGetNothing) {
    PutAll(phone_);
    paths_.folderProblem = "owned by another user";
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_TRUE(ExistingFiles(paths_).empty());
    EXPECT_EQ(phone_.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}}));
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
    // A phone of today: a root manager's su, SELinux, the Android 7 layout.
    const std::string sampleFolder = phone_.Scratch("sample");
    std::string error;
    ASSERT_TRUE(tools::GenerateSamplePhone(sampleFolder, {}, &error)) << error;
    const tools::SamplePhonePaths sample = tools::SamplePhoneLayout(sampleFolder);
    tools::FakePhoneState today;
    today.su = "manager";
    today.selinux = true;
    today.android7 = true;
    ASSERT_TRUE(tools::LayOutFakePhone(sample, platform::JoinPath(phone_.folder(), "phone"), today, &error)) << error;
    EXPECT_EQ(Acquire(), Done(DeviceState::Ready));
    EXPECT_EQ(report_.superuser, SuperuserForm::DashC);

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
