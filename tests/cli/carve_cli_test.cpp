// quillbrook carve through real runs over a generated sample card: what is
// written where, the summary, and the exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

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
    EXPECT_EQ(run.output.find("not copied whole"), std::string::npos) << run.output;
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
