#include "update/update_check.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/detached_thread.h"
#include "update/product_list_parser.h"
#include "update/startup_document.h"

namespace qb::update {
namespace {

std::intptr_t PassVersion(const std::string& version) {
    return reinterpret_cast<std::intptr_t>(new std::string(version));
}

// The whole body up to `limit` bytes; false when reading failed or nothing
// came.
bool ReadBody(DocumentStream& stream, std::size_t limit, std::string& body) {
    std::string piece;
    for (;;) {
        switch (stream.Next(piece)) {
        case DocumentStream::Read::Piece:
            body.append(piece, 0, std::min(piece.size(), limit - body.size()));
            if (body.size() == limit) return true;
            break;
        case DocumentStream::Read::End:
            return !body.empty();
        case DocumentStream::Read::Failed:
            return false;
        }
    }
}

// Feeds the body to the parser as it arrives. A parse error stops the
// reading; what was found up to there stands.
void ReadProductList(DocumentStream& stream, ManualCheckState& state) {
    ProductListParser parser(state);
    std::size_t total = 0;
    std::string piece;
    while (stream.Next(piece) == DocumentStream::Read::Piece) {
        const std::size_t room = kMaxManualDocument - total;
        const bool full = piece.size() >= room;
        if (full) piece.resize(room);
        total += piece.size();
        if (!parser.Feed(piece)) return;
        if (full) break;
    }
    parser.Finish();
}

template <typename Check>
bool StartDetached(Check check) {
    return platform::StartDetachedThread([check = std::move(check)]() mutable {
        try {
            check();
        } catch (...) {
            // Out of memory inside a check: the check simply ends.
        }
    });
}

}  // namespace

std::string TakeUpdateVersion(std::intptr_t lParam) {
    const std::unique_ptr<std::string> version(reinterpret_cast<std::string*>(lParam));
    return version ? std::move(*version) : std::string();
}

void RunStartupCheck(const StartupFetch& fetch, platform::Notifier& window) {
    if (fetch.connected && !fetch.connected()) return;
    if (!fetch.fetch) return;
    std::string body;
    {
        const std::unique_ptr<DocumentStream> stream = fetch.fetch();
        if (!stream || !ReadBody(*stream, kMaxStartupDocument, body)) return;
    }
    // The request is closed before the window is asked: the answer may wait
    // for the user.
    const StartupDocument document = ReadStartupDocument(body);
    if (AdvertisesOtherVersion(document)) window.Send(WMU_UPDATE_RESULT, 1, PassVersion(document.nversion));
}

void RunManualCheck(const DocumentFetcher& fetch, platform::Notifier& window) {
    ManualCheckState state = NewManualCheckState();
    if (fetch) {
        if (const std::unique_ptr<DocumentStream> stream = fetch()) ReadProductList(*stream, state);
    }
    if (state.newer) {
        window.Post(WMU_UPDATE_RESULT, 1, PassVersion(state.advertisedVersion));
    } else {
        window.Post(WMU_UPDATE_RESULT, 0, 0);
    }
}

bool StartStartupCheck(StartupFetch fetch, std::unique_ptr<platform::Notifier> window) {
    if (!window) return false;
    return StartDetached([fetch = std::move(fetch), window = std::move(window)] { RunStartupCheck(fetch, *window); });
}

bool StartManualCheck(DocumentFetcher fetch, std::unique_ptr<platform::Notifier> window) {
    if (!window) return false;
    return StartDetached([fetch = std::move(fetch), window = std::move(window)] { RunManualCheck(fetch, *window); });
}

}  // namespace qb::update
