// The file service: random-access reads, whole-file reads and writes,
// copies, deletion, folders and paths. Files are prepared and checked with
// the standard library, independently of the service under test.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "tests/support/scratch_folder_test.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qb::platform {
namespace {

namespace fs = std::filesystem;

std::string AllByteValues(std::size_t repeat) {
    std::string bytes;
    for (std::size_t r = 0; r < repeat; ++r) {
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>((b + r) & 0xFF);
    }
    return bytes;
}

class FileService : public testsupport::ScratchFolderTest {};

// ---------------------------------------------------------------- ReadOnlyFile

TEST_F(FileService, ReadsAtAnyOffset) {
    auto file = ReadOnlyFile::Open(Put("f", "0123456789"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(), 10u);
    char buffer[8] = {};
    EXPECT_EQ(file->ReadAt(3, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(file->ReadAt(0, buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "01");
    EXPECT_EQ(file->ReadAt(3, buffer, 1), 1u);
    EXPECT_EQ(buffer[0], '3');
}

TEST_F(FileService, ReadsAreShortOnlyAtTheEnd) {
    auto file = ReadOnlyFile::Open(Put("f", "0123456789"));
    ASSERT_TRUE(file);
    char buffer[16] = {};
    EXPECT_EQ(file->ReadAt(7, buffer, 10), 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file->ReadAt(10, buffer, 5), 0u);
    EXPECT_EQ(file->ReadAt(std::uint64_t {1} << 40, buffer, 5), 0u);
    EXPECT_EQ(file->ReadAt(0, buffer, 0), 0u);
}

TEST_F(FileService, ReadsLargeBlocksWhole) {
    const std::string bytes = AllByteValues(1000);
    auto file = ReadOnlyFile::Open(Put("big", bytes));
    ASSERT_TRUE(file);
    std::string back(bytes.size() + 10, '\0');
    EXPECT_EQ(file->ReadAt(0, back.data(), back.size()), bytes.size());
    back.resize(bytes.size());
    EXPECT_EQ(back, bytes);
}

TEST_F(FileService, EmptyFileHasNothingToRead) {
    auto file = ReadOnlyFile::Open(Put("empty", ""));
    ASSERT_TRUE(file);
    char buffer[4];
    EXPECT_EQ(file->Size(), 0u);
    EXPECT_EQ(file->ReadAt(0, buffer, 4), 0u);
}

TEST_F(FileService, MissingFileOrFolderCannotBeOpened) {
    std::string error;
    EXPECT_FALSE(ReadOnlyFile::Open(Path("missing"), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    fs::create_directory(root_ / "folder");
    EXPECT_FALSE(ReadOnlyFile::Open(Path("folder"), &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(FileService, MovedFileKeepsReading) {
    auto opened = ReadOnlyFile::Open(Put("a", "abc"));
    ASSERT_TRUE(opened);
    ReadOnlyFile moved = std::move(*opened);
    char c = 0;
    EXPECT_EQ(moved.ReadAt(1, &c, 1), 1u);
    EXPECT_EQ(c, 'b');
    auto other = ReadOnlyFile::Open(Put("b", "xyz"));
    ASSERT_TRUE(other);
    moved = std::move(*other);
    EXPECT_EQ(moved.ReadAt(2, &c, 1), 1u);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(moved.Size(), 3u);
}

// ---------------------------------------------------------------- MemorySource

TEST(MemorySource, ReadsLikeAFile) {
    const std::string bytes("0123\0" "56789", 10);
    const MemorySource source(bytes);
    EXPECT_EQ(source.Size(), 10u);
    char buffer[16] = {};
    EXPECT_EQ(source.ReadAt(3, buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), std::string("3\0" "56", 4));
    EXPECT_EQ(source.ReadAt(8, buffer, 10), 2u);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(source.ReadAt(10, buffer, 1), 0u);
    EXPECT_EQ(source.ReadAt(~std::uint64_t {0}, buffer, 1), 0u);
    EXPECT_EQ(MemorySource("").Size(), 0u);
}

// ---------------------------------------------------------------- whole files

TEST_F(FileService, WholeFileRoundTripsAnyBytes) {
    const std::string bytes = AllByteValues(200);  // more than one read chunk
    std::string error;
    ASSERT_TRUE(WriteWholeFile(Path("w"), bytes, &error)) << error;
    EXPECT_EQ(Get("w"), bytes);
    const auto back = ReadWholeFile(Path("w"));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, bytes);
}

TEST_F(FileService, WritingReplacesALongerFile) {
    Put("w", std::string(5000, 'x'));
    ASSERT_TRUE(WriteWholeFile(Path("w"), "short"));
    EXPECT_EQ(Get("w"), "short");
    ASSERT_TRUE(WriteWholeFile(Path("w"), ""));
    EXPECT_EQ(Get("w"), "");
    EXPECT_EQ(ReadWholeFile(Path("w")), std::string());
}

TEST_F(FileService, WholeFileFailuresSayWhy) {
    std::string error;
    EXPECT_FALSE(ReadWholeFile(Path("missing"), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(WriteWholeFile(Path("no-folder/file"), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Exists("no-folder"));
}

// ---------------------------------------------------------------- copy and delete

TEST_F(FileService, CopyReplacesTheTargetWithAnExactCopy) {
    const std::string bytes = AllByteValues(300);  // more than one copy block
    Put("from", bytes);
    Put("to", std::string(bytes.size() * 2, 'x'));
    std::string error;
    ASSERT_TRUE(CopyFileReplace(Path("from"), Path("to"), &error)) << error;
    EXPECT_EQ(Get("to"), bytes);
    EXPECT_EQ(Get("from"), bytes);
    ASSERT_TRUE(CopyFileReplace(Path("from"), Path("new"), &error)) << error;
    EXPECT_EQ(Get("new"), bytes);
}

TEST_F(FileService, CopyOfAnEmptyFileIsEmpty) {
    Put("from", "");
    Put("to", "old");
    ASSERT_TRUE(CopyFileReplace(Path("from"), Path("to")));
    EXPECT_EQ(Get("to"), "");
}

TEST_F(FileService, CopyFailureNamesTheFailingSide) {
    Put("from", "abc");
    std::string error;
    EXPECT_FALSE(CopyFileReplace(Path("missing"), Path("to"), &error));
    EXPECT_NE(error.find(Path("missing")), std::string::npos) << error;
    EXPECT_FALSE(Exists("to"));
    error.clear();
    EXPECT_FALSE(CopyFileReplace(Path("from"), Path("no-folder/to"), &error));
    EXPECT_NE(error.find(Path("no-folder/to")), std::string::npos) << error;
}

TEST_F(FileService, CopyOntoItselfKeepsTheFile) {
    Put("same", "precious bytes");
    CopyFileReplace(Path("same"), Path("same"));
    EXPECT_EQ(Get("same"), "precious bytes");
#ifndef _WIN32
    fs::create_hard_link(root_ / "same", root_ / "alias");
    CopyFileReplace(Path("same"), Path("alias"));
    EXPECT_EQ(Get("same"), "precious bytes");
#endif
}

TEST_F(FileService, DeleteFileIfExists) {
    Put("f", "x");
    EXPECT_TRUE(DeleteFileIfExists(Path("f")));
    EXPECT_FALSE(Exists("f"));
    EXPECT_TRUE(DeleteFileIfExists(Path("f")));
    EXPECT_TRUE(DeleteFileIfExists(Path("never-there")));
}

TEST_F(FileService, DeleteFileLeavesFoldersAlone) {
    fs::create_directory(root_ / "folder");
    Put("folder/inside", "x");
    DeleteFileIfExists(Path("folder"));
    EXPECT_EQ(Get("folder/inside"), "x");
}

TEST_F(FileService, RemoveFolderTreeDeletesEverythingBelow) {
    fs::create_directories(root_ / "tree/a/b/c");
    fs::create_directories(root_ / "tree/empty");
    Put("tree/top", "1");
    Put("tree/a/b/c/deep", "2");
    EXPECT_TRUE(RemoveFolderTree(Path("tree")));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_TRUE(RemoveFolderTree(Path("tree")));
    EXPECT_TRUE(RemoveFolderTree(Path("never-there")));
}

#ifndef _WIN32
TEST_F(FileService, RemoveFolderTreeDoesNotFollowLinks) {
    fs::create_directories(root_ / "outside");
    Put("outside/keep", "k");
    fs::create_directories(root_ / "tree");
    fs::create_directory_symlink(root_ / "outside", root_ / "tree/link");
    fs::create_symlink(root_ / "outside/keep", root_ / "tree/file-link");
    EXPECT_TRUE(RemoveFolderTree(Path("tree")));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_EQ(Get("outside/keep"), "k");
}
#endif

#ifdef _WIN32
TEST_F(FileService, RemoveFolderTreeDeletesReadOnlyFiles) {
    fs::create_directories(root_ / "tree/sub");
    Put("tree/sub/locked", "r");
    fs::permissions(root_ / "tree/sub/locked", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_TRUE(RemoveFolderTree(Path("tree")));
    EXPECT_FALSE(Exists("tree"));
}
#endif

// ---------------------------------------------------------------- names

// Names outside ASCII reach the system intact: folders, writes, reads,
// copies, existence and deletion all see the same file.
TEST_F(FileService, NamesOutsideAsciiWorkEverywhere) {
    const std::string folder = Path("Bilder \xC3\x9C" "bersicht/\xE6\x97\xA5\xE6\x9C\xAC \xE2\x9C\x93");
    ASSERT_TRUE(CreateFolders(folder));
    EXPECT_TRUE(FolderExists(folder));
    const std::string file = JoinPath(folder, "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x82\xD0\xB0\xD0\xBA\xD1\x82\xD1\x8B.db");
    ASSERT_TRUE(WriteWholeFile(file, "bytes"));
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(ReadWholeFile(file), "bytes");
    {
        auto opened = ReadOnlyFile::Open(file);
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->Size(), 5u);
    }

    const std::string copy = JoinPath(folder, "\xF0\x9F\x93\xB1 copy.db");
    ASSERT_TRUE(CopyFileReplace(file, copy));
    EXPECT_EQ(Get("Bilder \xC3\x9C" "bersicht/\xE6\x97\xA5\xE6\x9C\xAC \xE2\x9C\x93/\xF0\x9F\x93\xB1 copy.db"), "bytes");
    EXPECT_TRUE(DeleteFileIfExists(copy));
    EXPECT_FALSE(FileExists(copy));
    EXPECT_TRUE(RemoveFolderTree(Path("Bilder \xC3\x9C" "bersicht")));
    EXPECT_FALSE(Exists("Bilder \xC3\x9C" "bersicht"));
}

TEST_F(FileService, EitherSeparatorIsAcceptedWhereTheSystemHasTwo) {
#ifdef _WIN32
    const std::string mixed = Path("x") + "\\y/z";
    ASSERT_TRUE(CreateFolders(mixed));
    EXPECT_TRUE(fs::is_directory(root_ / "x" / "y" / "z"));
    ASSERT_TRUE(WriteWholeFile(mixed + "/f.txt", "1"));
    EXPECT_EQ(Get("x/y/z/f.txt"), "1");
#else
    ASSERT_TRUE(CreateFolders(Path("x/y/z")));
    EXPECT_TRUE(fs::is_directory(root_ / "x" / "y" / "z"));
#endif
}

// ---------------------------------------------------------------- folders

TEST_F(FileService, ExistenceTellsFilesFromFolders) {
    Put("f", "x");
    fs::create_directory(root_ / "d");
    EXPECT_TRUE(FileExists(Path("f")));
    EXPECT_FALSE(FolderExists(Path("f")));
    EXPECT_TRUE(FolderExists(Path("d")));
    EXPECT_FALSE(FileExists(Path("d")));
    EXPECT_FALSE(FileExists(Path("missing")));
    EXPECT_FALSE(FolderExists(Path("missing")));
}

TEST_F(FileService, CreateFoldersMakesEveryMissingParent) {
    EXPECT_TRUE(CreateFolders(Path("a/b/c")));
    EXPECT_TRUE(fs::is_directory(root_ / "a/b/c"));
    EXPECT_TRUE(CreateFolders(Path("a/b/c")));
    EXPECT_TRUE(CreateFolder(Path("a")));
    EXPECT_TRUE(CreateFolder(Path("a/d")));
    EXPECT_TRUE(fs::is_directory(root_ / "a/d"));
    EXPECT_FALSE(CreateFolders(""));
}

TEST_F(FileService, FolderCannotReplaceAFile) {
    Put("f", "x");
    EXPECT_FALSE(CreateFolder(Path("f")));
    EXPECT_FALSE(CreateFolders(Path("f/sub")));
    EXPECT_EQ(Get("f"), "x");
}

// ---------------------------------------------------------------- private folders and files

#ifndef _WIN32
fs::perms Permissions(const std::string& path) { return fs::symlink_status(path).permissions() & fs::perms::all; }

TEST_F(FileService, APrivateFolderIsMadeAfreshForThisUserAloneAndNoLinkInItIsFollowed) {
    Put("outside", "not to be touched");
    fs::permissions(Path("outside"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    // What an earlier run left, a link among it.
    fs::create_directories(Path("work/bak"));
    Put("work/bak/contacts2.db", "old copy");
    fs::create_symlink(Path("outside"), Path("work/contacts2.db"));
    // Whatever the umask takes away, the folder is the user's to write.
    const mode_t oldMask = ::umask(0277);
    const bool made = CreatePrivateFolder(Path("work"));
    ::umask(oldMask);
    ASSERT_TRUE(made);
    EXPECT_TRUE(fs::is_empty(Path("work")));
    EXPECT_EQ(Permissions(Path("work")), fs::perms::owner_all);
    EXPECT_EQ(Get("outside"), "not to be touched");

    // A file made in it replaces a link planted there instead of following it.
    fs::create_symlink(Path("outside"), Path("work/copy"));
    auto file = OutputFile::Create(Path("work/copy"), nullptr, FileAccess::OwnerOnly);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("new", 3));
    ASSERT_TRUE(file->Close());
    EXPECT_FALSE(fs::is_symlink(Path("work/copy")));
    EXPECT_EQ(Get("work/copy"), "new");
    EXPECT_EQ(Permissions(Path("work/copy")), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Get("outside"), "not to be touched");

    // A file another program wrote is narrowed; a link is not followed.
    Put("work/pulled", "x");
    fs::permissions(Path("work/pulled"), fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(RestrictToOwner(Path("work/pulled")));
    EXPECT_EQ(Permissions(Path("work/pulled")), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(Path("outside"), Path("work/link"));
    EXPECT_FALSE(RestrictToOwner(Path("work/link")));
    EXPECT_FALSE(RestrictToOwner(Path("work/none")));
    EXPECT_EQ(Permissions(Path("outside")), fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
}

TEST_F(FileService, APlantedLinkToAFolderIsReplacedNotFollowed) {
    fs::create_directories(Path("target"));
    Put("target/keep", "x");
    fs::create_directory_symlink(Path("target"), Path("work"));
    ASSERT_TRUE(CreatePrivateFolder(Path("work")));
    EXPECT_FALSE(fs::is_symlink(Path("work")));
    EXPECT_TRUE(fs::is_directory(Path("work")));
    EXPECT_EQ(Get("target/keep"), "x");
}

TEST_F(FileService, AFolderOrLinkOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
    constexpr uid_t kNobody = 65534;
    fs::create_directories(Path("work"));
    Put("work/theirs", "x");
    ASSERT_EQ(::chown(Path("work").c_str(), kNobody, kNobody), 0);
    fs::create_directory_symlink(Path("elsewhere"), Path("link"));
    ASSERT_EQ(::lchown(Path("link").c_str(), kNobody, kNobody), 0);
    for (const char* name : {"work", "link"}) {
        std::string error;
        EXPECT_FALSE(CreatePrivateFolder(Path(name), &error)) << name;
        EXPECT_NE(error.find("owned by another user"), std::string::npos) << error;
    }
    EXPECT_EQ(Get("work/theirs"), "x");
    EXPECT_TRUE(fs::is_symlink(Path("link")));
}
#else
TEST_F(FileService, APrivateFolderKeepsAFolderAndRefusesAFile) {
    fs::create_directories(Path("work"));
    Put("work/kept", "x");
    EXPECT_TRUE(CreatePrivateFolder(Path("work")));
    EXPECT_EQ(Get("work/kept"), "x");
    EXPECT_TRUE(CreatePrivateFolder(Path("new")));
    EXPECT_TRUE(fs::is_directory(Path("new")));
    Put("file", "x");
    EXPECT_FALSE(CreatePrivateFolder(Path("file")));
    auto file = OutputFile::Create(Path("work/kept"), nullptr, FileAccess::OwnerOnly);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("new", 3));
    ASSERT_TRUE(file->Close());
    EXPECT_EQ(Get("work/kept"), "new");
    EXPECT_TRUE(RestrictToOwner(Path("work/kept")));
    EXPECT_FALSE(RestrictToOwner(Path("work")));
}
#endif

TEST(TempFolders, TempFolderEndsWithASeparator) {
    const std::string temp = TempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), PathSeparator());
    EXPECT_TRUE(FolderExists(temp));
}

TEST(TempFolders, EachUniqueFolderIsNewEmptyAndPrivate) {
    const std::string a = MakeUniqueTempFolder("qb-unique-");
    const std::string b = MakeUniqueTempFolder("qb-unique-");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    for (const std::string& folder : {a, b}) {
        EXPECT_TRUE(FolderExists(folder));
        EXPECT_TRUE(fs::is_empty(folder));
        EXPECT_EQ(folder.rfind(TempFolder() + "qb-unique-", 0), 0u) << folder;
        EXPECT_NE(folder.back(), PathSeparator());
#ifndef _WIN32
        const fs::perms perms = fs::status(folder).permissions();
        EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
        EXPECT_EQ(perms & fs::perms::owner_all, fs::perms::owner_all);
#endif
    }
    fs::remove_all(a);
    fs::remove_all(b);
}

// ---------------------------------------------------------------- paths

TEST(Paths, JoinPutsOneSeparatorBetween) {
    const std::string sep(1, PathSeparator());
    EXPECT_EQ(JoinPath("a", "b"), "a" + sep + "b");
    EXPECT_EQ(JoinPath("a" + sep, "b"), "a" + sep + "b");
    EXPECT_EQ(JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(JoinPath("/x/y", "Contacts.html"), "/x/y" + sep + "Contacts.html");
}

TEST(Paths, SeparatorOfTheSystem) {
#ifdef _WIN32
    EXPECT_EQ(PathSeparator(), '\\');
#else
    EXPECT_EQ(PathSeparator(), '/');
#endif
}

TEST(Paths, ExecutableFolderHoldsTheRunningProgram) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), PathSeparator());
#ifdef _WIN32
    EXPECT_TRUE(FileExists(JoinPath(folder, "platform_tests.exe")));
#else
    EXPECT_TRUE(FileExists(JoinPath(folder, "platform_tests")));
#endif
}

}  // namespace
}  // namespace qb::platform
