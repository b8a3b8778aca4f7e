// The start-up check's fetch: the system's connection state, then a GET
// that follows the system's settings. Failures leave no trace.
#include "platform/http_client.h"
#include "update/http_checks.h"
#include "update/http_document.h"

namespace qb::update {

StartupFetch HttpStartupFetch(const UpdateServer& server) {
    StartupFetch fetch;
    fetch.connected = [] { return platform::HasNetworkConnection(); };
    fetch.fetch = [server] {
        return FetchUpdateDocument(server, kStartupUserAgent, platform::HttpRoute::SystemSettings);
    };
    return fetch;
}

}  // namespace qb::update
