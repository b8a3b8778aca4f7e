// The update checks of the Windows program, fetching over HTTP from the
// vendor's web server (or from the server named, e.g. a loopback one).
#pragma once

#ifdef _WIN32

#include <memory>
#include <utility>

#include "platform/notifier.h"
#include "update/document_fetch.h"
#include "update/update_check.h"

namespace qb::update {

// Start-up check: the system's connection state (InternetGetConnectedState)
// and a WinINet GET of http://host:port/win-update.xml with the user agent
// "Velmora@Update" and the system's proxy settings.
StartupFetch WinInetStartupFetch(const UpdateServer& server = {});

// Manual check: a WinHTTP GET of /win-update.xml from host:port with the
// user agent "WinHTTP Example/1.0", no proxy and no cached copy. Failures
// are written to the standard output as "Error <code> has occurred.", and
// "Error <code> in WinHttpQueryDataAvailable.", "Error <code> in
// WinHttpReadData." or "Out of memory" while reading.
DocumentFetcher WinHttpManualFetch(const UpdateServer& server = {});

// What the main window starts: one second after it is set up, and from the
// "Update" menu command.
inline bool StartStartupCheck(std::unique_ptr<platform::Notifier> window, const UpdateServer& server = {}) {
    return StartStartupCheck(WinInetStartupFetch(server), std::move(window));
}
inline bool StartManualCheck(std::unique_ptr<platform::Notifier> window, const UpdateServer& server = {}) {
    return StartManualCheck(WinHttpManualFetch(server), std::move(window));
}

}  // namespace qb::update

#endif  // _WIN32
