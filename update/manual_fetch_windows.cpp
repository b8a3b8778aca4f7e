// The manual check's fetch through WinHTTP, synchronous.
#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "platform/text.h"
#include "update/http_checks.h"

namespace qb::update {
namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string wide = platform::Utf8ToWide(utf8);
    return std::wstring(wide.begin(), wide.end());
}

// Larger announced amounts are read over several pieces.
constexpr DWORD kMaxPiece = 64 * 1024;

struct Handle {
    HINTERNET h = nullptr;
    Handle() = default;
    explicit Handle(HINTERNET handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h != nullptr) ::WinHttpCloseHandle(h);
    }
};

void ReportLastError() {
    std::printf("Error %d has occurred.\n", static_cast<int>(::GetLastError()));
    std::fflush(stdout);
}

class WinHttpDocument final : public DocumentStream {
public:
    WinHttpDocument(HINTERNET session, HINTERNET connection, HINTERNET request)
        : session_(session), connection_(connection), request_(request) {}

    Read Next(std::string& piece) override {
        piece.clear();
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request_.h, &available)) {
            std::printf("Error %u in WinHttpQueryDataAvailable.\n", static_cast<unsigned>(::GetLastError()));
            std::fflush(stdout);
            return Read::Failed;
        }
        if (available == 0) return Read::End;
        if (available > kMaxPiece) available = kMaxPiece;
        // Zeroed, with room for a terminator.
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[available + 1]());
        if (!buffer) {
            std::printf("Out of memory\n");
            std::fflush(stdout);
            return Read::Failed;
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request_.h, buffer.get(), available, &read)) {
            std::printf("Error %u in WinHttpReadData.\n", static_cast<unsigned>(::GetLastError()));
            std::fflush(stdout);
            return Read::Failed;
        }
        if (read == 0) return Read::End;
        piece.assign(buffer.get(), read);
        return Read::Piece;
    }

private:
    // Closed in reverse order: request, connection, session.
    Handle session_;
    Handle connection_;
    Handle request_;
};

std::unique_ptr<DocumentStream> OpenDocument(const std::wstring& host, INTERNET_PORT port) {
    const std::wstring agent = Wide(kManualUserAgent);
    const std::wstring path = Wide(kUpdateDocumentPath);
    Handle session(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
    Handle connection(session.h ? ::WinHttpConnect(session.h, host.c_str(), port, 0) : nullptr);
    Handle request(connection.h ? ::WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr,
                                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                       WINHTTP_FLAG_REFRESH)
                                : nullptr);
    const bool answered = request.h != nullptr &&
                          ::WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                                               0, 0, 0) &&
                          ::WinHttpReceiveResponse(request.h, nullptr);
    if (!answered) {
        ReportLastError();
        return nullptr;
    }
    auto document = std::make_unique<WinHttpDocument>(session.h, connection.h, request.h);
    session.h = connection.h = request.h = nullptr;
    return document;
}

}  // namespace

DocumentFetcher WinHttpManualFetch(const UpdateServer& server) {
    return [host = Wide(server.host), port = static_cast<INTERNET_PORT>(server.port)] {
        return OpenDocument(host, port);
    };
}

}  // namespace qb::update
