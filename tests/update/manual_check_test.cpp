// The manual check on documents served from memory: the XML product list
// in odd piece splits, malformed and empty answers, an unreachable server,
// read failures, an endless answer, and checks running side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/update/recording_window.h"
#include "tests/update/scripted_document.h"
#include "update/update_check.h"

namespace qb::update {
namespace {

using testsupport::Delivery;
using testsupport::ForwardingWindow;
using testsupport::Notification;
using testsupport::RecordingWindow;
using testsupport::ServePieces;
using testsupport::Split;
using testsupport::Unreachable;

// The one notification of a manual check, which must be posted.
Notification RunManual(const DocumentFetcher& fetch) {
    RecordingWindow window;
    RunManualCheck(fetch, window);
    const std::vector<Notification> all = window.All();
    EXPECT_EQ(all.size(), 1u);
    if (all.empty()) return {Delivery::Sent, 0, 99, false, {}};
    EXPECT_EQ(all[0].delivery, Delivery::Posted);
    EXPECT_EQ(all[0].message, WMU_UPDATE_RESULT);
    EXPECT_EQ(all[0].message, 1138u);
    if (all[0].wParam == 0) {
        EXPECT_TRUE(all[0].lParamZero);
    }
    return all[0];
}

// The answer for the document in every split into two pieces and in
// single bytes; they must all agree. Returns it as "" (not newer) or the
// advertised version.
std::string AnswerInAllSplits(const std::string& body) {
    const Notification whole = RunManual(ServePieces({body}));
    const std::string answer = whole.wParam == 1 ? whole.version : "";
    EXPECT_TRUE(whole.wParam == 0 || whole.wParam == 1);
    for (std::size_t cut = 1; cut < body.size(); ++cut) {
        const Notification n = RunManual(ServePieces(Split(body, {cut})));
        EXPECT_EQ(n.wParam, whole.wParam) << "cut at " << cut;
        EXPECT_EQ(n.version, whole.version) << "cut at " << cut;
    }
    std::vector<std::size_t> ones(body.size(), 1);
    const Notification bytes = RunManual(ServePieces(Split(body, ones)));
    EXPECT_EQ(bytes.wParam, whole.wParam);
    EXPECT_EQ(bytes.version, whole.version);
    return answer;
}

std::string ProductList(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<products>\n" + entries + "</products>\n";
}

TEST(ManualCheckTest, TheMatchingEntryDecides) {
    // Another product's version does not count.
    EXPECT_EQ(AnswerInAllSplits(ProductList("  <product name=\"Velmora Photo\" version=\"9.9.9.9\"/>\n"
                                            "  <product name=\"Velmora Quillbrook\" version=\"1.0.0.22\"/>\n")),
              "");
    EXPECT_EQ(AnswerInAllSplits(ProductList("  <product name=\"Velmora Photo\" version=\"9.9.9.9\"/>\n"
                                            "  <product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>\n")),
              "1.0.0.23");
    // A version of three parts counts as newer and is shown as it stands.
    EXPECT_EQ(AnswerInAllSplits(ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.23\"/>")), "1.0.23");
    EXPECT_EQ(AnswerInAllSplits(ProductList("<product name=\"Velmora Quillbrook\" version=\"1.1.0.0\"/>")), "1.1.0.0");
    EXPECT_EQ(AnswerInAllSplits(ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.21\"/>")), "");
}

TEST(ManualCheckTest, OnlyTheFirstMatchingProductTagCounts) {
    // Names are compared exactly; tags other than "product" are ignored.
    EXPECT_EQ(AnswerInAllSplits(ProductList(
                  "<Product name=\"Velmora Quillbrook\" version=\"5.0.0.0\"/>"
                  "<item name=\"Velmora Quillbrook\" version=\"5.0.0.0\"/>"
                  "<product name=\"velmora quillbrook\" version=\"5.0.0.0\"/>"
                  "<product name=\"Velmora Quillbrook \" version=\"5.0.0.0\"/>"
                  "<product name=\"Velmora Quillbrook\" version=\"1.0.0.24\">text <note/></product>"
                  "<product name=\"Velmora Quillbrook\" version=\"7.0.0.0\"/>")),
              "1.0.0.24");
    // Once the entry is found, later entries are not looked at, even when
    // the found one carries no version.
    EXPECT_EQ(AnswerInAllSplits(ProductList("<product name=\"Velmora Quillbrook\" channel=\"beta\"/>"
                                            "<product name=\"Velmora Quillbrook\" version=\"7.0.0.0\"/>")),
              "");
    // Entries nested anywhere count; character entities are resolved.
    EXPECT_EQ(AnswerInAllSplits("<a><b><c><product version=\"1.0.0.30\" name=\"Velmora&#32;Quillbrook\"/></c></b></a>"),
              "1.0.0.30");
}

TEST(ManualCheckTest, AttributesMayComeInAnyOrder) {
    EXPECT_EQ(AnswerInAllSplits(ProductList(
                  "<product version=\"1.0.0.25\" build=\"x\" name=\"Velmora Quillbrook\" size=\"10\"/>")),
              "1.0.0.25");
    EXPECT_EQ(AnswerInAllSplits(ProductList("<product version=\"1.0.0.22\" name=\"Velmora Quillbrook\"/>"
                                            "<product name=\"Velmora Quillbrook\" version=\"2.0.0.0\"/>")),
              "");
}

TEST(ManualCheckTest, MalformedDocumentsStopAtTheErrorAndKeepWhatWasFound) {
    // The matching entry comes before the error: its result stands.
    const std::string matchThenError =
        ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>\n<product name=oops/>\n");
    testing::internal::CaptureStderr();
    const Notification n = RunManual(ServePieces({matchThenError}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "not well-formed (invalid token) at line 4 \n");
    EXPECT_EQ(n.wParam, 1u);
    EXPECT_EQ(n.version, "1.0.0.23");

    // The error comes first: the entry after it is never read, and neither
    // is the rest of the answer.
    int reads = 0;
    const std::vector<std::string> pieces = {"<products><product name=\"x\" <>", "</products>",
                                             "<product name=\"Velmora Quillbrook\" version=\"2.0.0.0\"/>"};
    testing::internal::CaptureStderr();
    const Notification m = RunManual(ServePieces(pieces, false, &reads));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "not well-formed (invalid token) at line 1 \n");
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(reads, 1);

    // A second root element after a complete list.
    testing::internal::CaptureStderr();
    const Notification j = RunManual(ServePieces(
        {ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.22\"/>") +
         "<product name=\"Velmora Quillbrook\" version=\"2.0.0.0\"/>"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "junk after document element at line 4 \n");
    EXPECT_EQ(j.wParam, 0u);

    // A JSON answer is not XML at all.
    testing::internal::CaptureStderr();
    const Notification k = RunManual(ServePieces({R"({"Fernhollow":[{"Nversion":"2.0.0.0"}]})"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "not well-formed (invalid token) at line 1 \n");
    EXPECT_EQ(k.wParam, 0u);
}

TEST(ManualCheckTest, EmptyTruncatedOrUnreachableMeansNoNewerVersion) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunManual(ServePieces({})).wParam, 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no element found at line 1 \n");

    // An answer cut short after the matching entry still counts it.
    testing::internal::CaptureStderr();
    const Notification cut = RunManual(ServePieces({"<products><product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no element found at line 1 \n");
    EXPECT_EQ(cut.wParam, 1u);
    EXPECT_EQ(cut.version, "1.0.0.23");

    EXPECT_EQ(RunManual(Unreachable()).wParam, 0u);
    EXPECT_EQ(RunManual(DocumentFetcher()).wParam, 0u);
}

TEST(ManualCheckTest, AReadFailureEndsReadingWithWhatWasFound) {
    const std::string body = ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>");
    const std::size_t at = body.find("/>") + 2;
    testing::internal::CaptureStderr();
    const Notification found = RunManual(ServePieces({body.substr(0, at)}, true));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(found.wParam, 1u);
    EXPECT_EQ(found.version, "1.0.0.23");

    testing::internal::CaptureStderr();
    const Notification early = RunManual(ServePieces({body.substr(0, at - 20)}, true));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(early.wParam, 0u);
}

// An answer that never ends: blanks inside the root element.
class EndlessDocument final : public DocumentStream {
public:
    explicit EndlessDocument(std::size_t* delivered) : delivered_(delivered) {}
    Read Next(std::string& piece) override {
        piece = first_ ? "<products>" : std::string(4000, ' ');
        first_ = false;
        *delivered_ += piece.size();
        return Read::Piece;
    }

private:
    bool first_ = true;
    std::size_t* delivered_;
};

TEST(ManualCheckTest, AnEndlessAnswerIsCutOff) {
    std::size_t delivered = 0;
    testing::internal::CaptureStderr();
    const Notification n = RunManual([&delivered] { return std::make_unique<EndlessDocument>(&delivered); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no element found at line 1 \n");
    EXPECT_EQ(n.wParam, 0u);
    EXPECT_GE(delivered, kMaxManualDocument);
    EXPECT_LT(delivered, kMaxManualDocument + 8000);
}

TEST(ManualCheckTest, ChecksOnTheirOwnThreadsKeepTheirOwnState) {
    // Single-byte pieces interleave the two parsers as much as possible.
    const std::string newer = ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.40\"/>");
    const std::string same = ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.22\"/>");
    for (int round = 0; round < 20; ++round) {
        RecordingWindow first, second;
        std::promise<void> firstDone, secondDone;
        std::future<void> firstReleased = firstDone.get_future(), secondReleased = secondDone.get_future();
        ASSERT_TRUE(StartManualCheck(ServePieces(Split(newer, std::vector<std::size_t>(newer.size(), 1))),
                                     std::make_unique<ForwardingWindow>(first, std::move(firstDone))));
        ASSERT_TRUE(StartManualCheck(ServePieces(Split(same, std::vector<std::size_t>(same.size(), 1))),
                                     std::make_unique<ForwardingWindow>(second, std::move(secondDone))));
        const auto a = first.WaitFirst();
        const auto b = second.WaitFirst();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(a->delivery, Delivery::Posted);
        EXPECT_EQ(a->wParam, 1u);
        EXPECT_EQ(a->version, "1.0.0.40");
        EXPECT_EQ(b->wParam, 0u);
        // Each thread lets go of its window when it ends.
        ASSERT_EQ(firstReleased.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        ASSERT_EQ(secondReleased.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_EQ(first.All().size(), 1u);
        EXPECT_EQ(second.All().size(), 1u);
    }
    EXPECT_FALSE(StartManualCheck(ServePieces({newer}), nullptr));
}

}  // namespace
}  // namespace qb::update
