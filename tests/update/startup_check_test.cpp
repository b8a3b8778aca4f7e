// The start-up check on documents served from memory: when it speaks and
// how (sent, waiting for the window), documents in pieces and longer than
// one read, the size bound, and the silent endings.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
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

std::string Document(const std::string& nversion, std::size_t padding = 0) {
    return "{\"Fernhollow\": [{\"Version\": \"1.0.0.22\", " + std::string(padding, ' ') + "\"Nversion\": \"" +
           nversion + "\", \"Update_URL\": \"http://www.velmora.com/quillbrook.html\"}]}";
}

StartupFetch Connected(DocumentFetcher fetch) { return {[] { return true; }, std::move(fetch)}; }

std::vector<Notification> RunStartup(const StartupFetch& fetch) {
    RecordingWindow window;
    RunStartupCheck(fetch, window);
    return window.All();
}

// The version the check reported, "" when it stayed silent.
std::string Announced(const StartupFetch& fetch) {
    const std::vector<Notification> all = RunStartup(fetch);
    EXPECT_LE(all.size(), 1u);
    if (all.empty()) return "";
    EXPECT_EQ(all[0].delivery, Delivery::Sent);
    EXPECT_EQ(all[0].message, WMU_UPDATE_RESULT);
    EXPECT_EQ(all[0].wParam, 1u);
    EXPECT_FALSE(all[0].version.empty());
    return all[0].version;
}

TEST(StartupCheckTest, SpeaksOnlyForAnotherVersion) {
    EXPECT_EQ(Announced(Connected(ServePieces({Document("1.0.0.23")}))), "1.0.0.23");
    EXPECT_EQ(Announced(Connected(ServePieces({Document("1.0.0.21")}))), "1.0.0.21");
    EXPECT_EQ(Announced(Connected(ServePieces({Document("1.0.0.22")}))), "");
    EXPECT_EQ(Announced(Connected(ServePieces({Document("")}))), "");
    EXPECT_EQ(Announced(Connected(ServePieces({R"({"Fernhollow":[{"Version":"1.0.0.20"}]})"}))), "");
    EXPECT_EQ(Announced(Connected(ServePieces({R"({"Fernhollow":{"Nversion":"2.0.0.0"}})"}))), "");
    EXPECT_EQ(Announced(Connected(ServePieces({"<products/>"}))), "");
    // Without a connection test the check assumes one.
    EXPECT_EQ(Announced({nullptr, ServePieces({Document("3.0.0.0")})}), "3.0.0.0");
}

TEST(StartupCheckTest, ReadsTheWholeDocumentInWhateverPieces) {
    // Far longer than one read of 1024 bytes, and cut into pieces.
    const std::string longDocument = Document("1.0.0.30", 5000);
    ASSERT_GT(longDocument.size(), 5000u);
    EXPECT_EQ(Announced(Connected(ServePieces({longDocument}))), "1.0.0.30");
    EXPECT_EQ(Announced(Connected(ServePieces(Split(longDocument, {1024, 1024, 1, 7, 3000})))), "1.0.0.30");
    const std::string shortDocument = Document("1.0.0.31");
    for (std::size_t cut = 1; cut < shortDocument.size(); ++cut) {
        EXPECT_EQ(Announced(Connected(ServePieces(Split(shortDocument, {cut})))), "1.0.0.31") << cut;
    }
    EXPECT_EQ(Announced(Connected(ServePieces(Split(shortDocument, std::vector<std::size_t>(shortDocument.size(), 1))))),
              "1.0.0.31");
    // Empty pieces in between are no end.
    EXPECT_EQ(Announced(Connected(ServePieces({"", Document("1.0.0.32"), ""}))), "1.0.0.32");
}

TEST(StartupCheckTest, ReadsAtMostTheBound) {
    const std::size_t fill = kMaxStartupDocument - Document("1.0.0.33").size();
    const std::string atBound = Document("1.0.0.33", fill);
    ASSERT_EQ(atBound.size(), kMaxStartupDocument);
    EXPECT_EQ(Announced(Connected(ServePieces(Split(atBound, {10000, 10000, 10000})))), "1.0.0.33");

    // One byte more and the document is cut before its end.
    int reads = 0;
    const std::string beyond = Document("1.0.0.33", fill + 1);
    std::vector<std::string> pieces = Split(beyond, {4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096,
                                                     4096, 4096, 4096, 4096, 4096, 4096});
    pieces.insert(pieces.end(), 100, std::string(4096, ' '));
    EXPECT_EQ(Announced(Connected(ServePieces(pieces, false, &reads))), "");
    EXPECT_EQ(reads, 16);  // 16 pieces of 4096 fill the bound; nothing more is read
}

TEST(StartupCheckTest, EndsSilentlyWhenNothingUsableArrives) {
    int fetches = 0;
    DocumentFetcher counted = [&fetches] {
        ++fetches;
        return ServePieces({Document("2.0.0.0")})();
    };
    EXPECT_EQ(Announced({[] { return false; }, counted}), "");
    EXPECT_EQ(fetches, 0);  // no connection: no request at all

    EXPECT_EQ(Announced(Connected(Unreachable())), "");
    EXPECT_EQ(Announced(Connected(DocumentFetcher())), "");
    EXPECT_EQ(Announced(Connected(ServePieces({}))), "");
    EXPECT_EQ(Announced(Connected(ServePieces({"", ""}))), "");
    // A read that fails, at once or after part of the document.
    EXPECT_EQ(Announced(Connected(ServePieces({}, true))), "");
    EXPECT_EQ(Announced(Connected(ServePieces(Split(Document("2.0.0.0"), {20}), true))), "");
    const std::string doc = Document("2.0.0.0");
    EXPECT_EQ(Announced(Connected(ServePieces({doc}, true))), "");
}

TEST(StartupCheckTest, DetachedCheckSendsAndLetsGoOfItsWindow) {
    RecordingWindow window;
    std::promise<void> done;
    std::future<void> released = done.get_future();
    ASSERT_TRUE(StartStartupCheck(Connected(ServePieces(Split(Document("1.0.1.0"), {5, 5}))),
                                  std::make_unique<ForwardingWindow>(window, std::move(done))));
    const auto first = window.WaitFirst();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->delivery, Delivery::Sent);
    EXPECT_EQ(first->version, "1.0.1.0");
    ASSERT_EQ(released.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(window.All().size(), 1u);

    // A silent check ends all the same.
    RecordingWindow quiet;
    std::promise<void> quietDone;
    std::future<void> quietReleased = quietDone.get_future();
    ASSERT_TRUE(StartStartupCheck(Connected(ServePieces({Document("1.0.0.22")})),
                                  std::make_unique<ForwardingWindow>(quiet, std::move(quietDone))));
    ASSERT_EQ(quietReleased.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(quiet.All().empty());

    EXPECT_FALSE(StartStartupCheck(Connected(ServePieces({Document("2.0.0.0")})), nullptr));
}

TEST(UpdateResultTest, TheVersionTextChangesHands) {
    EXPECT_EQ(TakeUpdateVersion(0), "");
    EXPECT_EQ(TakeUpdateVersion(reinterpret_cast<std::intptr_t>(new std::string("1.2.3.4"))), "1.2.3.4");
}

}  // namespace
}  // namespace qb::update
