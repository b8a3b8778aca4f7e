// The manual check's fetch: a direct GET whose failures are written to the
// standard output, in the words of the system library that carries it on
// Windows.
#include <cstdio>

#include "platform/http_client.h"
#include "update/http_checks.h"
#include "update/http_document.h"

namespace qb::update {
namespace {

void ReportFailure(const platform::HttpError& error) {
    using Step = platform::HttpError::Step;
    switch (error.step) {
    case Step::Request:
    case Step::None:
        std::printf("Error %d has occurred.\n", static_cast<int>(error.code));
        break;
    case Step::Wait:
        std::printf("Error %u in WinHttpQueryDataAvailable.\n", static_cast<unsigned>(error.code));
        break;
    case Step::Read:
        std::printf("Error %u in WinHttpReadData.\n", static_cast<unsigned>(error.code));
        break;
    case Step::Memory:
        std::printf("Out of memory\n");
        break;
    }
    std::fflush(stdout);
}

}  // namespace

DocumentFetcher HttpManualFetch(const UpdateServer& server) {
    return [server] {
        return FetchUpdateDocument(server, kManualUserAgent, platform::HttpRoute::Direct, ReportFailure);
    };
}

}  // namespace qb::update
