// Both update checks over HTTP, against a loopback server: what they
// request and how they introduce themselves, what they answer for each kind
// of document, and how they end when the server is not there.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "tests/update/loopback_http_server.h"
#include "tests/update/recording_window.h"
#include "update/http_checks.h"

namespace qb::update {
namespace {

using testsupport::ClosedLoopbackPort;
using testsupport::Delivery;
using testsupport::ForwardingWindow;
using testsupport::Framing;
using testsupport::LoopbackHttpServer;
using testsupport::Notification;
using testsupport::RecordingWindow;
using testsupport::ServedAnswer;
using testsupport::ServedRequest;

// The system's code for a refused connection.
#ifdef _WIN32
constexpr int kCannotConnect = 12029;  // ERROR_WINHTTP_CANNOT_CONNECT
#else
constexpr int kCannotConnect = ECONNREFUSED;
#endif

UpdateServer Loopback(std::uint16_t port) { return {"127.0.0.1", port}; }

std::string StartupDocument(const std::string& nversion, std::size_t padding = 0) {
    return "{\"Fernhollow\": [{\"Version\": \"1.0.0.22\", " + std::string(padding, ' ') + "\"Nversion\": \"" +
           nversion + "\", \"Update_URL\": \"http://www.velmora.com/quillbrook.html\"}]}";
}

std::string ProductList(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<products>\n" + entries + "</products>\n";
}

// A check started the way the main window starts it, run to its end.
struct Outcome {
    std::vector<Notification> notifications;
    std::string standardOutput;
    std::string standardError;
};

template <typename Start>
Outcome RunToEnd(Start start) {
    Outcome outcome;
    RecordingWindow window;
    std::promise<void> done;
    std::future<void> released = done.get_future();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool started = start(std::make_unique<ForwardingWindow>(window, std::move(done)));
    const bool ended = started && released.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    outcome.standardOutput = testing::internal::GetCapturedStdout();
    outcome.standardError = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(started);
    EXPECT_TRUE(ended) << "the check did not end";
    outcome.notifications = window.All();
    return outcome;
}

Outcome Startup(const UpdateServer& server) {
    return RunToEnd([&](std::unique_ptr<platform::Notifier> w) { return StartStartupCheck(std::move(w), server); });
}

Outcome Manual(const UpdateServer& server) {
    return RunToEnd([&](std::unique_ptr<platform::Notifier> w) { return StartManualCheck(std::move(w), server); });
}

// The single answer of a manual check, which is always posted.
Notification ManualAnswer(const Outcome& outcome) {
    EXPECT_EQ(outcome.notifications.size(), 1u);
    if (outcome.notifications.empty()) return {Delivery::Sent, 0, 99, false, {}};
    const Notification& n = outcome.notifications[0];
    EXPECT_EQ(n.delivery, Delivery::Posted);
    EXPECT_EQ(n.message, WMU_UPDATE_RESULT);
    if (n.wParam == 0) {
        EXPECT_TRUE(n.lParamZero);
    }
    return n;
}

// What a start-up check announced: "" when it stayed silent.
std::string StartupAnswer(const Outcome& outcome) {
    EXPECT_LE(outcome.notifications.size(), 1u);
    if (outcome.notifications.empty()) return "";
    const Notification& n = outcome.notifications[0];
    EXPECT_EQ(n.delivery, Delivery::Sent);
    EXPECT_EQ(n.message, WMU_UPDATE_RESULT);
    EXPECT_EQ(n.wParam, 1u);
    return n.version;
}

void ExpectOneRequest(const LoopbackHttpServer& server, const std::string& userAgent) {
    const std::vector<ServedRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "GET /win-update.xml HTTP/1.1");
    EXPECT_EQ(requests[0].userAgent, userAgent);
}

// ------------------------------------------------------------ start-up check

TEST(StartupCheckOverHttpTest, TheSystemReportsAConnection) {
    // The check depends on it; the tests below assume it.
    const StartupFetch fetch = HttpStartupFetch(Loopback(1));
    ASSERT_TRUE(fetch.connected);
    EXPECT_TRUE(fetch.connected());
}

TEST(StartupCheckOverHttpTest, AnnouncesANewerVersionAndWaitsForTheWindow) {
    LoopbackHttpServer server({StartupDocument("1.0.0.23")});
    const Outcome outcome = Startup(Loopback(server.Port()));
    EXPECT_EQ(StartupAnswer(outcome), "1.0.0.23");
    ExpectOneRequest(server, "Velmora@Update");
    EXPECT_EQ(outcome.standardOutput, "");
}

TEST(StartupCheckOverHttpTest, AnyOtherVersionIsAnnounced) {
    LoopbackHttpServer server({StartupDocument("1.0.0.21")});
    EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "1.0.0.21");
}

TEST(StartupCheckOverHttpTest, SilentForTheSameEmptyOrMissingVersion) {
    for (const std::string& body : {StartupDocument("1.0.0.22"), StartupDocument(""),
                                    std::string(R"({"Fernhollow":[{"Version":"1.0.0.22"}]})")}) {
        LoopbackHttpServer server({body});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "") << body;
        ExpectOneRequest(server, "Velmora@Update");
    }
}

TEST(StartupCheckOverHttpTest, SilentForDocumentsItCannotRead) {
    for (const std::string& body :
         {std::string(R"({"Fernhollow":[{"Nversion":"2.0.0.0"})"), std::string("not json at all"),
          ProductList("<product name=\"Velmora Quillbrook\" version=\"2.0.0.0\"/>"), std::string()}) {
        LoopbackHttpServer server({body});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "") << body;
        ExpectOneRequest(server, "Velmora@Update");
    }
}

TEST(StartupCheckOverHttpTest, ReadsDocumentsLongerThanOneReadAndInPieces) {
    const std::string longDocument = StartupDocument("1.0.0.24", 3000);
    ASSERT_GT(longDocument.size(), 3000u);
    {
        LoopbackHttpServer server({longDocument});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "1.0.0.24");
    }
    {
        LoopbackHttpServer server({longDocument, Framing::ContentLength, {700, 1024, 5, 900}});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "1.0.0.24");
    }
    {
        LoopbackHttpServer server({longDocument, Framing::Chunked, {1000, 1000, 1}});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "1.0.0.24");
    }
    {
        const std::string shortDocument = StartupDocument("1.0.0.25");
        LoopbackHttpServer server({shortDocument, Framing::Close, {10, 10, 10}});
        EXPECT_EQ(StartupAnswer(Startup(Loopback(server.Port()))), "1.0.0.25");
    }
}

TEST(StartupCheckOverHttpTest, SilentWithoutServerOrConnection) {
    const Outcome unreachable = Startup(Loopback(ClosedLoopbackPort()));
    EXPECT_TRUE(unreachable.notifications.empty());
    EXPECT_EQ(unreachable.standardOutput, "");

    // Without a connection nothing is requested.
    LoopbackHttpServer server({StartupDocument("2.0.0.0")});
    StartupFetch offline = HttpStartupFetch(Loopback(server.Port()));
    offline.connected = [] { return false; };
    RecordingWindow window;
    RunStartupCheck(offline, window);
    EXPECT_TRUE(window.All().empty());
    EXPECT_TRUE(server.Requests().empty());
}

// ------------------------------------------------------------ manual check

TEST(ManualCheckOverHttpTest, PostsTheNewerVersion) {
    LoopbackHttpServer server({ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>")});
    const Outcome outcome = Manual(Loopback(server.Port()));
    const Notification n = ManualAnswer(outcome);
    EXPECT_EQ(n.wParam, 1u);
    EXPECT_EQ(n.version, "1.0.0.23");
    ExpectOneRequest(server, "WinHTTP Example/1.0");
    EXPECT_EQ(outcome.standardOutput, "");
    EXPECT_EQ(outcome.standardError, "");
}

TEST(ManualCheckOverHttpTest, AnotherProductsVersionDoesNotCount) {
    LoopbackHttpServer server({ProductList("<product name=\"Velmora Photo\" version=\"9.9.9.9\"/>\n"
                                           "<product name=\"Velmora Quillbrook\" version=\"1.0.0.22\"/>\n")});
    EXPECT_EQ(ManualAnswer(Manual(Loopback(server.Port()))).wParam, 0u);
    ExpectOneRequest(server, "WinHTTP Example/1.0");
}

TEST(ManualCheckOverHttpTest, AThreePartVersionCountsAsNewer) {
    LoopbackHttpServer server({ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.23\"/>")});
    const Notification n = ManualAnswer(Manual(Loopback(server.Port())));
    EXPECT_EQ(n.wParam, 1u);
    EXPECT_EQ(n.version, "1.0.23");
}

TEST(ManualCheckOverHttpTest, ReadsTheListInPiecesAndChunks) {
    const std::string body = ProductList(std::string(2000, ' ') +
                                         "<product name=\"Velmora Photo\" version=\"9.9.9.9\"/>\n"
                                         "<product name=\"Velmora Quillbrook\" version=\"1.1.0.0\"/>\n");
    for (const Framing framing : {Framing::ContentLength, Framing::Chunked, Framing::Close}) {
        LoopbackHttpServer server({body, framing, {100, 1, 1500, 7, 450}});
        const Notification n = ManualAnswer(Manual(Loopback(server.Port())));
        EXPECT_EQ(n.wParam, 1u);
        EXPECT_EQ(n.version, "1.1.0.0");
    }
}

TEST(ManualCheckOverHttpTest, MalformedListsKeepWhatWasFoundBeforeTheError) {
    {
        LoopbackHttpServer server(
            {ProductList("<product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/>\n<product name=oops/>\n")});
        const Outcome outcome = Manual(Loopback(server.Port()));
        const Notification n = ManualAnswer(outcome);
        EXPECT_EQ(n.wParam, 1u);
        EXPECT_EQ(n.version, "1.0.0.23");
        EXPECT_EQ(outcome.standardError, "not well-formed (invalid token) at line 4 \n");
    }
    {
        LoopbackHttpServer server({"<products><oops<product name=\"Velmora Quillbrook\" version=\"2.0.0.0\"/>"});
        const Outcome outcome = Manual(Loopback(server.Port()));
        EXPECT_EQ(ManualAnswer(outcome).wParam, 0u);
        EXPECT_EQ(outcome.standardError, "not well-formed (invalid token) at line 1 \n");
    }
    {
        LoopbackHttpServer server({R"({"Fernhollow":[{"Nversion":"2.0.0.0"}]})"});
        EXPECT_EQ(ManualAnswer(Manual(Loopback(server.Port()))).wParam, 0u);
    }
}

TEST(ManualCheckOverHttpTest, AnEmptyAnswerIsTheLatestVersion) {
    LoopbackHttpServer server({""});
    const Outcome outcome = Manual(Loopback(server.Port()));
    EXPECT_EQ(ManualAnswer(outcome).wParam, 0u);
    EXPECT_EQ(outcome.standardError, "no element found at line 1 \n");
    ExpectOneRequest(server, "WinHTTP Example/1.0");
}

TEST(ManualCheckOverHttpTest, AnUnreachableServerIsTheLatestVersion) {
    const Outcome outcome = Manual(Loopback(ClosedLoopbackPort()));
    EXPECT_EQ(ManualAnswer(outcome).wParam, 0u);
    EXPECT_EQ(outcome.standardOutput, "Error " + std::to_string(kCannotConnect) + " has occurred.\n");
}

}  // namespace
}  // namespace qb::update
