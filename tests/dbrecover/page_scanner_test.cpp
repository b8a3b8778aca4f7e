// A whole scan over crafted database images: the B-tree walk, freeblock
// chains, the regions of free space and the order they are carved in, and
// the defences against hostile on-disk pointers.
#include "dbrecover/page_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/dbrecover/scan_helpers.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sqlite_image.h"
#include "tests/support/temp_folder.h"

namespace qb::dbrecover {
namespace {

using scantest::ContactRow;
using scantest::ContactsLayout;
using scantest::MessagesLayout;
using scantest::ScanImage;
using scantest::ScanSetup;
using scantest::SmsRow;
using testsupport::CarvedDataRow;
using testsupport::CarvedSmsRow;
using testsupport::DatabaseImage;
using testsupport::Field;
using testsupport::RecordingSink;
using testsupport::TablePage;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr std::uint32_t kPage = 1024;

// A data row whose raw contact id tells where it was put.
std::string Marked(std::uint8_t rawId) { return ContactRow(5, rawId, "x"); }

// A freeblock just large enough for the row and two spare zero bytes.
std::uint16_t SizeFor(const std::string& row) { return static_cast<std::uint16_t>(4 + row.size() + 2); }

TablePage LeafWithGapRow(std::uint8_t rawId) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.PutInGap(Marked(rawId));
    return leaf;
}

std::vector<std::uint64_t> RawIds(const RecordingSink& sink) {
    std::vector<std::uint64_t> ids;
    for (const CarvedDataRow& row : sink.dataRows) ids.push_back(row.rawContactId);
    return ids;
}

class PageScannerTest : public ::testing::Test {
protected:
    RecordingSink Run(const TableLayout& layout = ContactsLayout()) {
        image_ = db.Bytes();
        return ScanImage(layout, image_, &stats);
    }

    DatabaseImage db {kPage};
    ScanStats stats;

private:
    std::string image_;
};

// ---------------------------------------------------------------- the walk

TEST_F(PageScannerTest, LeafRootIsTheOnlyLeaf) {
    db.SetPage(2, LeafWithGapRow(7));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    const ScanStats result = s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(2u));
    EXPECT_THAT(s.scanner.freeblocks(), IsEmpty());
    EXPECT_THAT(s.sink.dataRows, ElementsAre(CarvedDataRow {5, 7, "x"}));
    EXPECT_EQ(result.leafPages, 1u);
    EXPECT_EQ(result.freeblocks, 0u);
    EXPECT_EQ(result.regions, 1u);
    EXPECT_EQ(result.freeBytes, kPage - 8);
    EXPECT_EQ(result.candidates, 1u);
}

// Depth-first from the right-most child, yet every step after the walk goes
// through the leaves in ascending page order: all freeblock regions first,
// each page's in chain order, then the gap regions.
TEST_F(PageScannerTest, RegionsAreCarvedFreeblocksFirstInAscendingPageOrder) {
    TablePage root = TablePage::Interior(kPage, 3);
    root.AddChild(6, 100);
    root.AddChild(4, 200);
    root.AddChild(5, 300);
    db.SetPage(2, root);
    db.SetPage(3, LeafWithGapRow(30));
    TablePage p4 = LeafWithGapRow(40);
    p4.AddFreeblock(600, SizeFor(Marked(41)), Marked(41));
    p4.AddFreeblock(400, SizeFor(Marked(42)), Marked(42));
    db.SetPage(4, p4);
    db.SetPage(5, LeafWithGapRow(50));
    TablePage p6 = LeafWithGapRow(60);
    p6.AddFreeblock(700, SizeFor(Marked(61)), Marked(61));
    db.SetPage(6, p6);

    ScanSetup s(db.Bytes(), ContactsLayout(2));
    const ScanStats result = s.scanner.Run();

    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(3u, 4u, 5u, 6u));
    EXPECT_THAT(s.scanner.freeblocks(),
                ElementsAre(Pair(4u, ElementsAre(600, 400)), Pair(6u, ElementsAre(700))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(41u, 42u, 61u, 30u, 40u, 50u, 60u));
    EXPECT_EQ(result.leafPages, 4u);
    EXPECT_EQ(result.freeblocks, 3u);
    EXPECT_EQ(result.regions, 7u);
    const std::uint64_t freeblockBytes = 3 * (SizeFor(Marked(0)) - 4);
    const std::uint64_t gapBytes = (kPage - 8) + (400 - 8) + (kPage - 8) + (700 - 8);
    EXPECT_EQ(result.freeBytes, freeblockBytes + gapBytes);
    EXPECT_EQ(result.candidates, 7u);
}

TEST_F(PageScannerTest, LiveCellsAreNotCarved) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddCell(testsupport::LeafCell(
        1, {Field::Null(), Field::Int(5), Field::Int(99), Field::Null(), Field::Text("Live one"), Field::Null()}));
    leaf.AddCell(testsupport::LeafCell(
        2, {Field::Null(), Field::Int(5), Field::Int(98), Field::Null(), Field::Text("Live two"), Field::Null()}));
    leaf.PutInGap(ContactRow(5, 7, "Gone"));
    db.SetPage(2, leaf);
    EXPECT_THAT(Run().dataRows, ElementsAre(CarvedDataRow {5, 7, "Gone"}));
    EXPECT_EQ(stats.freeBytes, leaf.contentStart() - (8 + 2 * 2));
}

TEST_F(PageScannerTest, PagesOfOtherTypesAreSkippedWithTheirSubtrees) {
    TablePage root = TablePage::Interior(kPage, 3);
    root.AddChild(4);
    root.AddChild(5);
    db.SetPage(2, root);
    // An interior index page (type 2) leading to a table leaf.
    TablePage index = TablePage::Interior(kPage, 6);
    index.SetType(2);
    db.SetPage(3, index);
    db.SetPage(4, LeafWithGapRow(40));
    // A leaf index page (type 10) with row-like bytes.
    TablePage indexLeaf = LeafWithGapRow(50);
    indexLeaf.SetType(10);
    db.SetPage(5, indexLeaf);
    db.SetPage(6, LeafWithGapRow(60));

    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(4u));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(40u));
}

TEST_F(PageScannerTest, RootThatIsNotATablePageGivesNothing) {
    db.SetPage(2, TablePage::Blank(kPage));
    db.SetPage(3, LeafWithGapRow(7));
    EXPECT_THAT(Run(ContactsLayout(2)).dataRows, IsEmpty());
    EXPECT_EQ(stats.leafPages, 0u);
}

TEST_F(PageScannerTest, RootBeyondTheFileGivesNothing) {
    db.SetPage(2, LeafWithGapRow(7));
    EXPECT_THAT(Run(ContactsLayout(3)).dataRows, IsEmpty());
    EXPECT_THAT(Run(ContactsLayout(1000000)).dataRows, IsEmpty());
    EXPECT_EQ(stats.leafPages, 0u);
}

TEST_F(PageScannerTest, ScanOfAFileFindsWhatTheImageHolds) {
    TablePage leaf = LeafWithGapRow(7);
    leaf.AddFreeblock(800, SizeFor(Marked(8)), Marked(8));
    db.SetPage(2, leaf);
    const testsupport::ScopedTempFolder folder;
    const std::string path = folder.Write("contacts2.db", db.Bytes());

    RecordingSink sink;
    const ScanStats result = Scan(path, ContactsLayout(2), sink);
    EXPECT_THAT(RawIds(sink), ElementsAre(8u, 7u));
    EXPECT_EQ(result.candidates, 2u);

    RecordingSink none;
    EXPECT_EQ(Scan(folder.File("missing.db"), ContactsLayout(2), none).regions, 0u);
    EXPECT_THAT(none.dataRows, IsEmpty());
}

// ---------------------------------------------------------------- hostile pointers

class HostilePointers : public PageScannerTest {};

TEST_F(HostilePointers, InteriorPageThatPointsAtItself) {
    TablePage root = TablePage::Interior(kPage, 2);
    root.AddChild(3);
    root.AddChild(2);
    db.SetPage(2, root);
    db.SetPage(3, LeafWithGapRow(7));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(3u));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(7u));
}

TEST_F(HostilePointers, ChildThatLeadsBackToAnAncestor) {
    db.SetPage(2, TablePage::Interior(kPage, 3));
    TablePage middle = TablePage::Interior(kPage, 2);
    middle.AddChild(4);
    db.SetPage(3, middle);
    db.SetPage(4, LeafWithGapRow(7));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(4u));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(7u));
}

TEST_F(HostilePointers, LeafReachedTwiceIsCarvedOnce) {
    TablePage root = TablePage::Interior(kPage, 3);
    root.AddChild(3);
    root.AddChild(3);
    db.SetPage(2, root);
    TablePage leaf = LeafWithGapRow(7);
    leaf.AddFreeblock(800, SizeFor(Marked(8)), Marked(8));
    db.SetPage(3, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(3u));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(8u, 7u));
}

TEST_F(HostilePointers, ChildPagesOutsideTheFileAreNotRead) {
    TablePage root = TablePage::Interior(kPage, 0);  // no right-most child
    root.AddChild(0);
    root.AddChild(1000);
    root.AddChild(0xFFFFFFFF);
    root.AddChild(3);
    db.SetPage(2, root);
    db.SetPage(3, LeafWithGapRow(7));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(3u));
}

TEST_F(HostilePointers, CellPointersAreReadOnlyWithinThePage) {
    TablePage root = TablePage::Interior(kPage, 5);
    root.AddChild(3);
    root.AddChild(4);
    root.Put16(12 + 2 * 2, 0xFFF0);  // a third pointer far outside the page
    root.SetCellCount(0xFFFF);       // more pointers than the page can hold
    db.SetPage(2, root);
    db.SetPage(3, LeafWithGapRow(30));
    db.SetPage(4, LeafWithGapRow(40));
    db.SetPage(5, LeafWithGapRow(50));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.leafPages(), ElementsAre(3u, 4u, 5u));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(30u, 40u, 50u));
}

class TreeDepth : public PageScannerTest {
protected:
    // A chain of interior pages 2, 3, ... each holding only a right-most
    // child, and a leaf below the last one.
    void BuildChain(int interiorLevels) {
        std::uint32_t page = 2;
        for (int i = 0; i < interiorLevels; ++i, ++page) db.SetPage(page, TablePage::Interior(kPage, page + 1));
        db.SetPage(page, LeafWithGapRow(7));
    }
};

TEST_F(TreeDepth, DeepButPlausibleTreeIsWalked) {
    BuildChain(PageScanner::kMaxTreeDepth - 1);
    EXPECT_THAT(RawIds(Run(ContactsLayout(2))), ElementsAre(7u));
}

TEST_F(TreeDepth, WalkStopsBelowTheDepthBound) {
    BuildChain(PageScanner::kMaxTreeDepth + 1);
    EXPECT_THAT(Run(ContactsLayout(2)).dataRows, IsEmpty());
    EXPECT_EQ(stats.leafPages, 0u);
}

// ---------------------------------------------------------------- freeblock chains

class Freeblocks : public PageScannerTest {};

TEST_F(Freeblocks, ChainIsFollowedInChainOrderNotOffsetOrder) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(600, SizeFor(Marked(1)), Marked(1));
    leaf.AddFreeblock(300, SizeFor(Marked(2)), Marked(2));
    leaf.AddFreeblock(800, SizeFor(Marked(3)), Marked(3));
    db.SetPage(2, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(), ElementsAre(Pair(2u, ElementsAre(600, 300, 800))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(1u, 2u, 3u));
}

TEST_F(Freeblocks, LeafWithoutFreeblocksHasNoEntryButItsGapIsCarved) {
    TablePage root = TablePage::Interior(kPage, 4);
    root.AddChild(3);
    db.SetPage(2, root);
    TablePage p3 = LeafWithGapRow(30);
    p3.AddFreeblock(900, SizeFor(Marked(31)), Marked(31));
    db.SetPage(3, p3);
    db.SetPage(4, LeafWithGapRow(40));
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(), ElementsAre(Pair(3u, ElementsAre(900))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(31u, 30u, 40u));
}

// Back-to-back freeblocks: carving one must not disturb the next one's
// header or bytes.
TEST_F(Freeblocks, AdjacentBlocksAreCarvedAlike) {
    TablePage leaf = TablePage::Leaf(kPage);
    const std::string first = Marked(1);
    const std::string second = ContactRow(5, 2, "second row");
    const std::string third = Marked(3);
    const auto firstSize = static_cast<std::uint16_t>(4 + first.size());
    const auto secondSize = static_cast<std::uint16_t>(4 + second.size());
    leaf.AddFreeblock(500, firstSize, first);
    leaf.AddFreeblock(static_cast<std::uint16_t>(500 + firstSize), secondSize, second);
    leaf.AddFreeblock(static_cast<std::uint16_t>(500 + firstSize + secondSize), SizeFor(third), third);
    db.SetPage(2, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.sink.dataRows, ElementsAre(CarvedDataRow {5, 1, "x"}, CarvedDataRow {5, 2, "second row"},
                                             CarvedDataRow {5, 3, "x"}));
}

TEST_F(Freeblocks, LoopingChainIsFollowedOnce) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(300, SizeFor(Marked(1)), Marked(1));
    leaf.AddFreeblock(600, SizeFor(Marked(2)), Marked(2));
    leaf.Put16(600, 300);  // back to the first block
    db.SetPage(2, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(), ElementsAre(Pair(2u, ElementsAre(300, 600))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(1u, 2u));
}

TEST_F(Freeblocks, BlockThatPointsAtItselfIsCarvedOnce) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(300, SizeFor(Marked(1)), Marked(1));
    leaf.Put16(300, 300);
    db.SetPage(2, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(), ElementsAre(Pair(2u, ElementsAre(300))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(1u));
}

TEST_F(Freeblocks, ChainEndsAtAnOffsetThatWouldLeaveThePage) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(300, SizeFor(Marked(1)), Marked(1));
    leaf.Put16(300, kPage - 2);  // a header there would run past the page
    db.SetPage(2, leaf);
    TablePage far = TablePage::Leaf(kPage);
    far.AddFreeblock(300, SizeFor(Marked(2)), Marked(2));
    far.Put16(300, 0xF000);
    db.SetPage(3, far);
    TablePage root = TablePage::Interior(kPage, 3);
    root.AddChild(2);
    db.SetPage(4, root);
    ScanSetup s(db.Bytes(), ContactsLayout(4));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(),
                ElementsAre(Pair(2u, ElementsAre(300)), Pair(3u, ElementsAre(300))));
    EXPECT_THAT(RawIds(s.sink), ElementsAre(1u, 2u));
}

TEST_F(Freeblocks, FirstOffsetOutsideThePageGivesNoEntry) {
    TablePage leaf = LeafWithGapRow(7);
    leaf.SetFirstFreeblock(0xFFF0);
    db.SetPage(2, leaf);
    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.Run();
    EXPECT_THAT(s.scanner.freeblocks(), IsEmpty());
    EXPECT_THAT(RawIds(s.sink), ElementsAre(7u));
}

// ---------------------------------------------------------------- regions

class Regions : public PageScannerTest {};

TEST_F(Regions, FreeblockRunningPastThePageEndIsCutAtThePageEnd) {
    // The row fills the last 20 bytes of page 2 exactly.
    const std::string row = ContactRow(5, 7, "Ann Lee-Ross");
    ASSERT_EQ(row.size(), 20u);
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(kPage - 24, 500, row);
    db.SetPage(2, leaf);
    TablePage next = TablePage::Blank(kPage);
    next.Put(0, std::string(kPage, 'Z'));
    db.SetPage(3, next);

    ScanSetup s(db.Bytes(), ContactsLayout(2));
    s.scanner.CollectLeaves();
    s.scanner.GatherFreeblocks();
    s.scanner.CarveFreeblockRegions();
    EXPECT_EQ(s.scanner.stats().regions, 1u);
    EXPECT_EQ(s.scanner.stats().freeBytes, 20u);
    EXPECT_THAT(s.sink.dataRows, ElementsAre(CarvedDataRow {5, 7, "Ann Lee-Ross"}));
}

TEST_F(Regions, ShortLastPageShortensItsRegions) {
    TablePage root = TablePage::Interior(kPage, 3);
    db.SetPage(2, root);
    TablePage leaf = LeafWithGapRow(30);
    leaf.AddFreeblock(500, 300, Marked(31));
    db.SetPage(3, leaf);
    // The file ends 600 bytes into page 3.
    const std::string image = db.Bytes().substr(0, db.PageOffset(3) + 600);
    const RecordingSink sink = ScanImage(ContactsLayout(2), image, &stats);
    EXPECT_THAT(RawIds(sink), ElementsAre(31u, 30u));
    EXPECT_EQ(stats.regions, 2u);
    EXPECT_EQ(stats.freeBytes, (600u - 504u) + (500u - 8u));
}

TEST_F(Regions, GapOfAShortLastPageEndsWithTheFile) {
    db.SetPage(2, LeafWithGapRow(7));
    const std::string image = db.Bytes().substr(0, db.PageOffset(2) + 300);
    const RecordingSink sink = ScanImage(ContactsLayout(2), image, &stats);
    EXPECT_THAT(RawIds(sink), ElementsAre(7u));
    EXPECT_EQ(stats.freeBytes, 300u - 8u);
}

TEST_F(Regions, TextCutByTheRegionEndIsRejectedThoughThePageGoesOn) {
    const std::string row = ContactRow(5, 7, "Ann Lee");
    TablePage leaf = TablePage::Leaf(kPage);
    // The page holds the whole row, but the freeblock ends 3 bytes early.
    leaf.AddFreeblock(800, static_cast<std::uint16_t>(4 + row.size() - 3), row);
    db.SetPage(2, leaf);
    EXPECT_THAT(Run(ContactsLayout(2)).dataRows, IsEmpty());
}

TEST_F(Regions, NumberCutByTheRegionEndReadsZerosPastIt) {
    const std::string row = SmsRow(Field::IntOfType(1, 3), Field::Text("A"), Field::Text("B"),
                                   Field::IntOfType(1, 7), Field::IntOfType(2, 0x0102));
    TablePage leaf = TablePage::Leaf(kPage);
    // The freeblock ends after the first byte of the type column; the page
    // still holds its second byte.
    leaf.AddFreeblock(800, static_cast<std::uint16_t>(4 + row.size() - 1), row);
    db.SetPage(2, leaf);
    EXPECT_THAT(Run(MessagesLayout(2)).smsRows, ElementsAre(CarvedSmsRow {"A", "B", 7, 3, 0x0100}));
}

TEST_F(Regions, SameRowInAFreeblockAndInTheGapIsHandedOnTwice) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.PutInGap(ContactRow(5, 7, "Ann"));
    leaf.AddFreeblock(900, SizeFor(ContactRow(5, 7, "Ann")), ContactRow(5, 7, "Ann"));
    db.SetPage(2, leaf);
    EXPECT_THAT(Run(ContactsLayout(2)).dataRows,
                ElementsAre(CarvedDataRow {5, 7, "Ann"}, CarvedDataRow {5, 7, "Ann"}));
}

// Contacts variant: a fifth byte of 7 or more is taken for the record's
// header length and skipped.
class FifthByte : public PageScannerTest {
protected:
    ScanStats CarveFreeblocks(const TableLayout& layout, RecordingSink* rows = nullptr) {
        ScanSetup s(db.Bytes(), layout);
        s.scanner.CollectLeaves();
        s.scanner.GatherFreeblocks();
        s.scanner.CarveFreeblockRegions();
        if (rows) *rows = s.sink;
        return s.scanner.stats();
    }
    void SetFreeblock(std::uint16_t size, const std::string& rest) {
        TablePage leaf = TablePage::Leaf(kPage);
        leaf.AddFreeblock(600, size, rest);
        db.SetPage(2, leaf);
    }
};

TEST_F(FifthByte, HeaderLengthByteMovesTheRegionOneByteOn) {
    const std::string row = ContactRow(5, 7, "Ann");
    RecordingSink rows;
    SetFreeblock(40, std::string(1, '\x00') + row);
    const ScanStats zero = CarveFreeblocks(ContactsLayout(2), &rows);
    EXPECT_THAT(rows.dataRows, ElementsAre(CarvedDataRow {5, 7, "Ann"}));
    SetFreeblock(40, std::string(1, '\x1B') + row);
    const ScanStats header = CarveFreeblocks(ContactsLayout(2), &rows);
    EXPECT_THAT(rows.dataRows, ElementsAre(CarvedDataRow {5, 7, "Ann"}));
    EXPECT_EQ(zero.freeBytes, 36u);
    EXPECT_EQ(header.freeBytes, 35u);
}

TEST_F(FifthByte, SixStartsTheRegionSevenIsSkipped) {
    // A row whose _id is an 8-byte number: its serial type (6 or 7) is the
    // freeblock's fifth byte.
    const auto rowWithIdType = [](std::uint32_t idType) {
        return testsupport::TypesAndBody({Field::Raw(idType, std::string(8, '\0')), Field::IntOfType(1, 5),
                                          Field::IntOfType(1, 7), Field::Null(), Field::Text("A"), Field::Null()});
    };
    RecordingSink rows;
    SetFreeblock(static_cast<std::uint16_t>(4 + rowWithIdType(6).size()), rowWithIdType(6));
    CarveFreeblocks(ContactsLayout(2), &rows);
    EXPECT_THAT(rows.dataRows, ElementsAre(CarvedDataRow {5, 7, "A"}));
    SetFreeblock(static_cast<std::uint16_t>(4 + rowWithIdType(7).size()), rowWithIdType(7));
    CarveFreeblocks(ContactsLayout(2), &rows);
    EXPECT_THAT(rows.dataRows, IsEmpty());
}

TEST_F(FifthByte, MessagesVariantNeverSkipsIt) {
    // thread_id stored as a float: serial type 7 at the fifth byte.
    const std::string row = SmsRow(Field::IntOfType(7, 3), Field::Text("555"), Field::Text("Hi"),
                                   Field::IntOfType(6, 1000), Field::IntOfType(1, 2));
    RecordingSink rows;
    SetFreeblock(SizeFor(row), row);
    const ScanStats s = CarveFreeblocks(MessagesLayout(2), &rows);
    EXPECT_THAT(rows.smsRows, ElementsAre(CarvedSmsRow {"555", "Hi", 1000, 3, 2}));
    EXPECT_EQ(s.freeBytes, SizeFor(row) - 4u);
}

TEST_F(FifthByte, FreeblockNoLargerThanTheSkippedBytesGivesNoRegion) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(600, 4);
    leaf.AddFreeblock(700, 5, std::string(1, '\x1B'));
    leaf.AddFreeblock(800, 5, std::string(1, '\x00'));  // one byte of region
    leaf.AddFreeblock(900, 3);
    db.SetPage(2, leaf);
    const ScanStats contacts = CarveFreeblocks(ContactsLayout(2));
    EXPECT_EQ(contacts.regions, 1u);
    EXPECT_EQ(contacts.freeBytes, 1u);
}

TEST_F(Regions, MessagesRegionMustBeLongerThanTheColumnCount) {
    // _id, thread_id, address, date, type, body: the shortest possible row
    // fills columnCount + 1 bytes.
    TableLayout layout = MessagesLayout(2);
    layout.dateColumn = 3;
    layout.typeColumn = 4;
    layout.bodyColumn = 5;
    const std::string shortest =
        testsupport::TypesAndBody({Field::One(), Field::Text("A"), Field::One(), Field::Zero(), Field::Text("B")});
    ASSERT_EQ(shortest.size(), layout.columnCount + 1u);
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddFreeblock(600, static_cast<std::uint16_t>(4 + layout.columnCount), shortest.substr(0, 6));
    leaf.AddFreeblock(700, static_cast<std::uint16_t>(4 + shortest.size()), shortest);
    db.SetPage(2, leaf);

    ScanSetup s(db.Bytes(), layout);
    s.scanner.CollectLeaves();
    s.scanner.GatherFreeblocks();
    s.scanner.CarveFreeblockRegions();
    EXPECT_EQ(s.scanner.stats().regions, 1u);
    EXPECT_EQ(s.scanner.stats().freeBytes, shortest.size());
    EXPECT_THAT(s.sink.smsRows, ElementsAre(CarvedSmsRow {"A", "B", 1, 1, 0}));
}

TEST_F(Regions, ContactsRegionOfOneByteIsCarved) {
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.SetContentStart(9);
    db.SetPage(2, leaf);
    Run(ContactsLayout(2));
    EXPECT_EQ(stats.regions, 1u);
    EXPECT_EQ(stats.freeBytes, 1u);
}

TEST_F(Regions, GapNeedsAContentStartBeyondThePointerArray) {
    for (const std::uint16_t contentStart : {0, 11, 12}) {
        TablePage leaf = TablePage::Leaf(kPage);
        leaf.AddCell(testsupport::LeafCell(1, {Field::Null()}));
        leaf.AddCell(testsupport::LeafCell(2, {Field::Null()}));
        leaf.SetContentStart(contentStart);
        db.SetPage(2, leaf);
        Run(ContactsLayout(2));
        EXPECT_EQ(stats.regions, 0u) << "content start " << contentStart;
    }
    TablePage leaf = TablePage::Leaf(kPage);
    leaf.AddCell(testsupport::LeafCell(1, {Field::Null()}));
    leaf.AddCell(testsupport::LeafCell(2, {Field::Null()}));
    leaf.SetContentStart(13);
    db.SetPage(2, leaf);
    Run(ContactsLayout(2));
    EXPECT_EQ(stats.regions, 1u);
    EXPECT_EQ(stats.freeBytes, 1u);
}

TEST(LargestPages, ContentStartZeroOnA65536BytePageMeansThePageEnd) {
    constexpr std::uint32_t kLarge = 65536;
    DatabaseImage db(kLarge);
    TablePage leaf = TablePage::Leaf(kLarge);
    const std::string row = ContactRow(5, 7, "at the very end");
    leaf.PutInGap(row, kLarge - 8 - row.size());
    db.SetPage(2, leaf);
    const std::string image = db.Bytes();
    ASSERT_EQ(static_cast<unsigned char>(image[kLarge + 5]), 0);
    ASSERT_EQ(static_cast<unsigned char>(image[kLarge + 6]), 0);
    ScanStats stats;
    EXPECT_THAT(ScanImage(ContactsLayout(2, kLarge), image, &stats).dataRows,
                ElementsAre(CarvedDataRow {5, 7, "at the very end"}));
    EXPECT_EQ(stats.freeBytes, kLarge - 8);
}

// ---------------------------------------------------------------- what is scanned at all

TEST(ScannableLayouts, PageSizeMustBeAPowerOfTwoFrom512To65536) {
    for (const std::int32_t size : {512, 1024, 4096, 65536}) EXPECT_TRUE(PageScanner::CanScan(ContactsLayout(2, size)));
    for (const std::int32_t size : {0, 1, -1024, 256, 1000, 4095, 131072}) {
        EXPECT_FALSE(PageScanner::CanScan(ContactsLayout(2, size))) << size;
        EXPECT_FALSE(PageScanner::CanScan(MessagesLayout(2, size))) << size;
    }
}

TEST(ScannableLayouts, ContactsNeedRawContactIdAfterTheMimetypeColumn) {
    EXPECT_TRUE(PageScanner::CanScan(ContactsLayout()));
    const auto with = [](std::int32_t raw, std::int32_t data1) {
        TableLayout l = ContactsLayout();
        l.rawContactIdColumn = raw;
        l.data1Column = data1;
        return l;
    };
    EXPECT_TRUE(PageScanner::CanScan(with(1, 5)));
    EXPECT_FALSE(PageScanner::CanScan(with(0, 4)));
    EXPECT_FALSE(PageScanner::CanScan(with(-1, 4)));
    EXPECT_FALSE(PageScanner::CanScan(with(6, 4)));
    EXPECT_FALSE(PageScanner::CanScan(with(2, 6)));
    EXPECT_FALSE(PageScanner::CanScan(with(2, -1)));
    // raw_contact_id and data1 in one column would leave data1 unread.
    EXPECT_FALSE(PageScanner::CanScan(with(3, 3)));
}

TEST(ScannableLayouts, MessagesNeedAColumnOfItsOwnForEachField) {
    TableLayout l = MessagesLayout();
    l.bodyColumn = l.addressColumn;
    EXPECT_FALSE(PageScanner::CanScan(l));
    l = MessagesLayout();
    l.typeColumn = l.threadIdColumn;
    EXPECT_FALSE(PageScanner::CanScan(l));
}

TEST(ScannableLayouts, MessagesNeedEveryColumnAfterColumnZero) {
    EXPECT_TRUE(PageScanner::CanScan(MessagesLayout()));
    for (std::int32_t TableLayout::*column : {&TableLayout::addressColumn, &TableLayout::bodyColumn,
                                              &TableLayout::dateColumn, &TableLayout::threadIdColumn,
                                              &TableLayout::typeColumn}) {
        for (const std::int32_t position : {-1, 0, 6, 7}) {
            TableLayout l = MessagesLayout();
            l.*column = position;
            EXPECT_FALSE(PageScanner::CanScan(l)) << "position " << position;
        }
    }
}

TEST(ScannableLayouts, RootPageMustExist) {
    EXPECT_FALSE(PageScanner::CanScan(ContactsLayout(0)));
    EXPECT_FALSE(PageScanner::CanScan(ContactsLayout(-3)));
}

TEST(ScannableLayouts, UnscannableLayoutScansNothing) {
    DatabaseImage db(kPage);
    db.SetPage(2, LeafWithGapRow(7));
    TablePage smsLeaf = TablePage::Leaf(kPage);
    smsLeaf.PutInGap(SmsRow(3, "555", "Hi", 1000, 2));
    db.SetPage(3, smsLeaf);
    const std::string image = db.Bytes();

    TableLayout contacts = ContactsLayout(2);
    contacts.rawContactIdColumn = 0;
    TableLayout badPageSize = ContactsLayout(2, 1000);
    TableLayout messages = MessagesLayout(3);
    messages.bodyColumn = 0;
    for (const TableLayout& layout : {contacts, badPageSize, messages}) {
        ScanSetup s(image, layout);
        const ScanStats result = s.scanner.Run();
        EXPECT_EQ(result.leafPages, 0u);
        EXPECT_EQ(result.regions, 0u);
        EXPECT_THAT(s.scanner.leafPages(), IsEmpty());
        EXPECT_THAT(s.sink.dataRows, IsEmpty());
        EXPECT_THAT(s.sink.smsRows, IsEmpty());
    }
    // The same image is read with the layouts fixed.
    EXPECT_THAT(RawIds(ScanImage(ContactsLayout(2), image)), ElementsAre(7u));
    EXPECT_EQ(ScanImage(MessagesLayout(3), image).smsRows.size(), 1u);
}

}  // namespace
}  // namespace qb::dbrecover
