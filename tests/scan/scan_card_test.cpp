// The whole road through the storage module: the sample card image listed
// as a removable disk (and again as a fixed disk, neither shown nor
// scanned) beside a small removable disk whose copy handle could not be
// opened; both carved under scan control and mirrored as the card's truth
// says; then found pictures previewed through the real copy handles.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "app/domain_dr.h"
#include "output/recover_state.h"
#include "platform/file.h"
#include "src/cdr/device_enumeration.h"
#include "tests/scan/scan_harness.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_card/image_samples.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_card/sha256.h"

namespace qb::app::testing {
namespace {

std::string cardPath, smallDiskPath;
std::atomic<int> copies {0};

std::unique_ptr<cdr::DeviceNode> EnumerateDisks() {
    auto root = std::make_unique<cdr::DeviceNode>();
    if (cdr::DeviceNode* card = cdr::AddImageFile(*root, cardPath)) card->removable = 1;
    cdr::AddImageFile(*root, cardPath);
    if (cdr::DeviceNode* disk = cdr::AddImageFile(*root, smallDiskPath)) {
        disk->removable = 1;
        disk->copyHandle.reset();
    }
    return root;
}

cdr::CopyOutcome CountedExtract(const cdr::CdrInterface&, const cdr::FileItem& item, const std::string& target,
                                const platform::ByteSource& input, cdr::CopyCancelCallback cancel) {
    ++copies;
    return cdr::ExtractFile(item, target, input, cancel);
}

std::string Sha256(const std::optional<std::string>& bytes) {
    if (!bytes) return "no file";
    return tools::Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
}

TEST(ScanOfSampleCard, MirrorsTheTruthAndPreviewsItsPictures) {
    testsupport::ScopedTempFolder folder("qb-scan-card-");
    cardPath = folder.File("card.img");
    std::string error;
    const std::optional<tools::CardTruth> truth = tools::GenerateSampleCard(cardPath, {.seed = 7}, &error);
    ASSERT_TRUE(truth) << error;
    std::vector<std::uint8_t> small = tools::BuildJpeg();
    small.resize(8192);
    smallDiskPath = folder.Write("small.img", std::string(small.begin(), small.end()));
    auto table = cdr::CreateCdrInterface();
    table->EnumerateDevices = &EnumerateDisks;
    table->ExtractFile = &CountedExtract;
    DomainDr domain(std::move(table));
    FakeWindow window;
    ScanContext context(domain.Engine(), window.Notifier());
    ASSERT_EQ(ListAndScan(context, window), 2);
    const std::vector<ScanEvent> events = window.Until(WMU_SCAN_EVENT, &context);
    const ScanDisk& card = context.Disks().at(0);
    EXPECT_EQ(card.node->name, "card.img");

    std::map<std::string, std::multiset<std::string>> expected, found;
    for (const tools::TruthFile& f : truth->files) expected[f.group].insert(f.name);
    std::vector<const ScanNode*> groups {card.node->firstChild.load()}, children;  // the partition first
    std::map<std::string, const ScanFileEntry*> entries;
    for (const ScanEvent& e : events) {
        if (e.type != ScanNewGroupEvent) continue;
        const bool onCard = e.node->parent == card.node;
        EXPECT_EQ(e.item, context.Disks().at(onCard ? 0 : 1).item);
        if (onCard) groups.push_back(e.node);
        for (const ScanFileEntry* entry = e.node->firstEntry.load(); entry; entry = entry->next.load()) {
            if (onCard) found[e.node->name].insert(entry->name);
            entries[(onCard ? "" : "small/") + e.node->name + "/" + entry->name] = entry;
        }
        EXPECT_EQ(e.node->fileCount.load(), onCard ? found[e.node->name].size() : 1u) << e.node->name;
    }
    EXPECT_EQ(found, expected);
    for (const ScanNode* child = card.node->firstChild.load(); child; child = child->next.load())
        children.push_back(child);
    EXPECT_EQ(children, groups) << "the card's partition, then its groups in the order announced";

    std::vector<const tools::TruthFile*> jpegs;
    for (const tools::TruthFile& f : truth->files)
        if (f.group == "jpg" && jpegs.size() < 3) jpegs.push_back(&f);
    ASSERT_EQ(jpegs.size(), 3u);
    ASSERT_TRUE(entries.count("small/jpg/0.jpg"));
    const auto click = [&](const ScanFileEntry* entry) {
        const std::string target = PreviewTargetPath(folder.path(), *entry);
        domain.Previews().QueuePreview(*entry, target, window.Notifier());
        return target;
    };
    const auto show = [&](const std::string& target) {
        window.Until(WMU_PREVIEW_READY, nullptr);
        return Sha256(platform::ReadWholeFile(target));
    };
    const ScanFileEntry* first = entries["jpg/" + jpegs[0]->name];
    EXPECT_EQ(show(click(first)), jpegs[0]->sha256);
    EXPECT_EQ(show(click(first)), jpegs[0]->sha256);
    EXPECT_EQ(copies.load(), 1) << "a second click copies nothing";
    output::recoverState = output::kRecoverStopRequested;
    EXPECT_EQ(show(click(entries["jpg/" + jpegs[1]->name])), "no file") << "cancelled while a recover job stops";
    output::recoverState = 0;
    EXPECT_EQ(show(click(entries["small/jpg/0.jpg"])), "no file") << "a disk without a copy handle";
    EXPECT_EQ(copies.load(), 2);
    // Back right after a click: the job reads nothing that Back frees.
    const std::string target = click(entries["jpg/" + jpegs[2]->name]);
    ReleaseScan(context);
    EXPECT_EQ(show(target), jpegs[2]->sha256);
}

}  // namespace
}  // namespace qb::app::testing
