// quillbrook carve through real runs over a generated sample card: what is
// written where, the summary (bytes read, unreadable sectors), and the exit
// codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sstream>

#include "cli/file_carving.h"
#include "platform/file.h"
#include "tests/cli/run_quillbrook.h"
#include "platform/process.h"
#include "tools/sample_card/sample_card.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

class CarveCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = platform::MakeUniqueTempFolder("qb-carve-cli-");
        ASSERT_FALSE(folder_.empty());
        image_ = platform::JoinPath(folder_, "card.img");
        std::string error;
        auto truth = tools::GenerateSampleCard(image_, tools::SampleCardOptions {}, &error);
        ASSERT_TRUE(truth) << error;
        truth_ = new tools::CardTruth(std::move(*truth));
    }
    static void TearDownTestSuite() {
        delete truth_;
        truth_ = nullptr;
        platform::RemoveFolderTree(folder_);
    }

    static platform::ProcessResult Quillbrook(std::vector<std::string> args) {
        return testsupport::RunQuillbrook(std::move(args));
    }
    static std::string Path(const std::string& name) { return platform::JoinPath(folder_, name); }

    // The one disk<time> folder a run made under out.
    static std::string DiskFolder(const std::string& out) {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            if (entry.path().filename().string().rfind("disk", 0) == 0) found.push_back(entry.path().string());
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? std::string() : found.front();
    }

    static std::string folder_;
    static std::string image_;
    static tools::CardTruth* truth_;
};

std::string CarveCommand::folder_;
std::string CarveCommand::image_;
tools::CardTruth* CarveCommand::truth_ = nullptr;

TEST_F(CarveCommand, WritesEveryFoundFileInTheRecoverLayout) {
    const std::string out = Path("all");
    const auto run = Quillbrook({"carve", image_, "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string disk = DiskFolder(out);
    ASSERT_FALSE(disk.empty());
    const std::string bytes = platform::ReadWholeFile(image_).value_or("");
    for (const tools::TruthFile& file : truth_->files) {
        const std::string copy = platform::JoinPath(platform::JoinPath(disk, file.group), file.name);
        const auto written = platform::ReadWholeFile(copy);
        ASSERT_TRUE(written) << copy;
        EXPECT_EQ(*written, bytes.substr(file.offset, file.size)) << copy;
    }
    std::size_t copies = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(disk)) copies += entry.is_regular_file();
    EXPECT_EQ(copies, truth_->files.size());
    EXPECT_NE(run.output.find(std::to_string(truth_->files.size()) + " files written to"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("jpg"), std::string::npos);
    EXPECT_NE(run.output.find("sqlite"), std::string::npos);
    EXPECT_EQ(run.output.find("not copied whole"), std::string::npos) << run.output;
    // The card's bytes were read once (and a few headers of media files far
    // ahead): "Scanned 52.9 MB in 0.1 s (600 MB/s), 53.0 MB read from the disk".
    const std::size_t scanned = run.output.find("Scanned ");
    const std::size_t read = run.output.find(" MB read from the disk");
    ASSERT_NE(scanned, std::string::npos);
    ASSERT_NE(read, std::string::npos) << run.output;
    const double scannedMb = std::stod(run.output.substr(scanned + 8));
    const double readMb = std::stod(run.output.substr(run.output.rfind(' ', read - 1) + 1));
    EXPECT_GE(readMb, scannedMb - 0.05) << run.output;
    EXPECT_LE(readMb, scannedMb * 1.01) << run.output;
}

TEST(CarveSummary, NamesTheUnreadableSectorsSkipped) {
    cli::CarveResult result;
    result.scanned = true;
    result.bytesScanned = 8 * 1048576;
    result.bytesRead = 8 * 1048576 - 1536;
    result.unreadable = {{1048576, 1024}, {2097152, 512}};
    result.groupOrder = {"jpg", "sqlite"};
    result.groups["jpg"] = {2, 4096};
    result.groups["sqlite"] = {1, 8192};
    result.diskFolder = "out/disk1";
    std::ostringstream out;
    EXPECT_EQ(cli::PrintCarveSummary(out, result), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("Skipped 3 unreadable sectors, at byte 1048576 (2 sectors), 2097152\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  jpg         2 files"), std::string::npos) << text;
    EXPECT_NE(text.find("  sqlite      1 file "), std::string::npos) << text;
    EXPECT_NE(text.find("3 files written to out/disk1"), std::string::npos) << text;
}

TEST_F(CarveCommand, TypesLimitTheSearch) {
    const std::string out = Path("some");
    const auto run = Quillbrook({"carve", image_, "--out", out, "--types", "png,jpg"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::vector<std::string> groups;
    for (const auto& entry : std::filesystem::directory_iterator(DiskFolder(out)))
        groups.push_back(entry.path().filename().string());
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(groups, (std::vector<std::string> {"jpg", "png"}));

    const std::string phone = Path("phone");
    ASSERT_EQ(Quillbrook({"carve", image_, "--out", phone, "--types", "mp4,mp3,webp"}).exitCode, 0);
    groups.clear();
    for (const auto& entry : std::filesystem::directory_iterator(DiskFolder(phone)))
        groups.push_back(entry.path().filename().string());
    std::sort(groups.begin(), groups.end());
    EXPECT_EQ(groups, (std::vector<std::string> {"mp3", "mp4", "webp"}));
}

TEST_F(CarveCommand, BadTypesAreAUsageErrorAndAMissingSourceReadsNothing) {
    const auto unknown = Quillbrook({"carve", image_, "--out", Path("x"), "--types", "jpg,tiff"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.output.find("\"tiff\""), std::string::npos) << unknown.output;
    EXPECT_FALSE(platform::FolderExists(Path("x")));

    const std::string missing = Path("no such card.img");
    const auto none = Quillbrook({"carve", missing, "--out", Path("y")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.output.find(missing), std::string::npos) << none.output;

    EXPECT_EQ(Quillbrook({"carve", image_}).exitCode, 2);
}

}  // namespace
}  // namespace qb
