// HTTP: one GET of a document over plain http://, whose body is read piece
// by piece as it arrives. On Windows the system's HTTP libraries carry the
// request (WinINet or WinHTTP, by route); elsewhere a small client over
// sockets does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qb::platform {

// How a request reaches the server.
enum class HttpRoute {
    // With the system's proxy settings, a cached copy allowed (WinINet on
    // Windows, the body read 4 KiB at a time).
    SystemSettings,
    // Straight to the server, never a cached copy (WinHTTP on Windows, the
    // body read as much as is available, up to 64 KiB at a time).
    Direct,
};

struct HttpGetRequest {
    std::string host;
    std::uint16_t port = 80;
    std::string path;  // starts with "/"
    std::string userAgent;
    HttpRoute route = HttpRoute::Direct;
};

// Where a request failed, and the system's code for why (the last error
// on Windows, errno elsewhere).
struct HttpError {
    enum class Step {
        None,
        Request,  // the request could not be sent or was not answered
        Wait,     // waiting for more of the body failed
        Read,     // reading the body failed
        Memory,   // no memory for the next piece
    };
    Step step = Step::None;
    std::uint32_t code = 0;
};

// The body of one answered request; the connection closes with the object.
class HttpBody {
public:
    enum class Read {
        Piece,   // the next bytes of the body are in `piece`
        End,     // the body is complete
        Failed,  // reading broke off; `error` says where
    };
    virtual ~HttpBody() = default;
    // Replaces `piece` with the next bytes of the body.
    virtual Read Next(std::string& piece, HttpError& error) = 0;
};

// Sends the request and waits for the head of the answer. The answer's
// status is not judged: the body of any answer is what is read. nullptr
// when the server could not be reached or did not answer; `error` then
// says why.
std::unique_ptr<HttpBody> OpenHttpGet(const HttpGetRequest& request, HttpError& error);

// Whether the system reports a network connection at all (always true
// where the system has no such notion).
bool HasNetworkConnection();

}  // namespace qb::platform
