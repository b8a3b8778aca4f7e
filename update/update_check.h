// The two update checks. Each runs once on a thread of its own, fetches the
// update document and reports with one WMU_UPDATE_RESULT to the window that
// started it; a check that fails leaves no other trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/notifier.h"
#include "update/document_fetch.h"

namespace qb::update {

// The answer of a check.
//   wParam 1: a newer version is advertised. lParam is a std::string*
//             created with new, holding the advertised version text
//             (UTF-8); the receiver owns it and reclaims it with
//             TakeUpdateVersion.
//   wParam 0: no newer version; lParam 0.
constexpr std::uint32_t WMU_UPDATE_RESULT = 1138;  // WM_USER + 114

// The version text of a WMU_UPDATE_RESULT, taking ownership of lParam
// (deleted here); empty for lParam 0.
std::string TakeUpdateVersion(std::intptr_t lParam);

// The start-up check reads at most this much of the document; the rest is
// dropped before parsing.
inline constexpr std::size_t kMaxStartupDocument = 64 * 1024;
// The manual check stops reading after this much (an endless answer must
// not keep the check alive).
inline constexpr std::size_t kMaxManualDocument = 1024 * 1024;

// Start-up check, on the calling thread. Ends silently when the system
// reports no connection, the request fails, the answer is empty or cannot
// be read, or the JSON document does not advertise another version.
// Otherwise sends (and waits for the window to handle) WMU_UPDATE_RESULT
// with wParam 1 and the advertised "Nversion" text.
void RunStartupCheck(const StartupFetch& fetch, platform::Notifier& window);

// Manual check, on the calling thread. Reads the XML product list piece by
// piece and always posts WMU_UPDATE_RESULT: wParam 1 with the advertised
// version when it is newer, otherwise wParam 0 (also when the server could
// not be reached or the document is malformed, in which case the entries
// read before the error decide).
void RunManualCheck(const DocumentFetcher& fetch, platform::Notifier& window);

// Start the checks on a detached thread that owns the notifier. false when
// the thread cannot be created; nothing else happens then.
bool StartStartupCheck(StartupFetch fetch, std::unique_ptr<platform::Notifier> window);
bool StartManualCheck(DocumentFetcher fetch, std::unique_ptr<platform::Notifier> window);

}  // namespace qb::update
