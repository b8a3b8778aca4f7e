// How a check obtains the update document: one GET whose body arrives in
// pieces. The program fetches through the platform's HTTP client
// (http_checks.h); tests may hand in their own pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "update/update_constants.h"

namespace qb::update {

// The web server that publishes the update document.
struct UpdateServer {
    std::string host {kUpdateHost};
    std::uint16_t port = kUpdatePort;
};

// The body of one answered request.
class DocumentStream {
public:
    enum class Read {
        Piece,   // the next bytes of the body are in `piece`
        End,     // the body is complete
        Failed,  // reading broke off; the stream has said why, if anywhere
    };
    virtual ~DocumentStream() = default;
    // Replaces `piece` with the next bytes of the body.
    virtual Read Next(std::string& piece) = 0;
};

// Sends the request for the update document and waits for the answer;
// nullptr when the server could not be reached or the request failed.
using DocumentFetcher = std::function<std::unique_ptr<DocumentStream>()>;

// The start-up check first asks whether the system is on line at all.
struct StartupFetch {
    std::function<bool()> connected;  // unset: assume a connection
    DocumentFetcher fetch;
};

}  // namespace qb::update
