// A small HTTP server on the loopback interface for the update checks'
// tests: it answers GET /win-update.xml with a given body, in
// pieces and with the framing asked for, and records what each request
// looked like.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qb::update::testsupport {

enum class Framing {
    ContentLength,  // a Content-Length header
    Chunked,        // Transfer-Encoding: chunked, one chunk per piece
    Close,          // no length; the end of the connection ends the body
};

struct ServedAnswer {
    std::string body;
    Framing framing = Framing::ContentLength;
    // Sizes of the pieces the body is sent in, with a short pause after
    // each; the last piece takes the rest. Empty: in one go.
    std::vector<std::size_t> pieces;
};

struct ServedRequest {
    std::string requestLine;  // e.g. "GET /win-update.xml HTTP/1.1"
    std::string userAgent;    // the User-Agent header's value
};

class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(ServedAnswer answer);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t Port() const { return port_; }
    // What later requests are answered with.
    void SetAnswer(ServedAnswer answer);
    std::vector<ServedRequest> Requests() const;

private:
    void Serve();
    void Answer(std::uintptr_t connection);

    ServedAnswer answer_;
    std::uintptr_t listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_ {false};
    mutable std::mutex mutex_;
    std::vector<ServedRequest> requests_;
    std::thread thread_;
};

// A loopback port that nothing listens on (just released by this process).
std::uint16_t ClosedLoopbackPort();

}  // namespace qb::update::testsupport
