// The update checks over HTTP, fetching from the vendor's web server (or
// from the server named, e.g. a loopback one) through the platform's HTTP
// client.
#pragma once

#include <memory>
#include <utility>

#include "platform/notifier.h"
#include "update/document_fetch.h"
#include "update/update_check.h"

namespace qb::update {

// Start-up check: the system's connection state, then a GET of
// http://host:port/win-update.xml with the user agent "Velmora@Update"
// that follows the system's settings (WinINet on Windows).
StartupFetch HttpStartupFetch(const UpdateServer& server = {});

// Manual check: a direct GET of /win-update.xml from host:port with the
// user agent "WinHTTP Example/1.0", no proxy and no cached copy (WinHTTP on
// Windows). Failures are written to the standard output as "Error <code>
// has occurred.", and "Error <code> in WinHttpQueryDataAvailable.", "Error
// <code> in WinHttpReadData." or "Out of memory" while reading.
DocumentFetcher HttpManualFetch(const UpdateServer& server = {});

// What the main window starts: one second after it is set up, and from the
// "Update" menu command.
inline bool StartStartupCheck(std::unique_ptr<platform::Notifier> window, const UpdateServer& server = {}) {
    return StartStartupCheck(HttpStartupFetch(server), std::move(window));
}
inline bool StartManualCheck(std::unique_ptr<platform::Notifier> window, const UpdateServer& server = {}) {
    return StartManualCheck(HttpManualFetch(server), std::move(window));
}

}  // namespace qb::update
