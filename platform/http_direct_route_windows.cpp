// Direct GET requests through synchronous WinHTTP.
#include <windows.h>
#include <winhttp.h>

#include <new>
#include <string>

#include "platform/http_routes_windows.h"
#include "platform/windows_support.h"

namespace qb::platform {
namespace {

// Larger announced amounts are read over several pieces.
constexpr DWORD kMaxDirectPiece = 64 * 1024;

struct WinHttpHandle {
    HINTERNET h = nullptr;
    WinHttpHandle() = default;
    explicit WinHttpHandle(HINTERNET handle) : h(handle) {}
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;
    ~WinHttpHandle() {
        if (h != nullptr) ::WinHttpCloseHandle(h);
    }
};

class WinHttpBody final : public HttpBody {
public:
    WinHttpBody(HINTERNET session, HINTERNET connection, HINTERNET request)
        : session_(session), connection_(connection), request_(request) {}

    Read Next(std::string& piece, HttpError& error) override {
        piece.clear();
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request_.h, &available)) {
            error = {HttpError::Step::Wait, static_cast<std::uint32_t>(::GetLastError())};
            return Read::Failed;
        }
        if (available == 0) return Read::End;
        if (available > kMaxDirectPiece) available = kMaxDirectPiece;
        // Zeroed, with room for a terminator.
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[available + 1]());
        if (!buffer) {
            error = {HttpError::Step::Memory, 0};
            return Read::Failed;
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request_.h, buffer.get(), available, &read)) {
            error = {HttpError::Step::Read, static_cast<std::uint32_t>(::GetLastError())};
            return Read::Failed;
        }
        if (read == 0) return Read::End;
        piece.assign(buffer.get(), read);
        return Read::Piece;
    }

private:
    // Closed in reverse order: request, connection, session.
    WinHttpHandle session_;
    WinHttpHandle connection_;
    WinHttpHandle request_;
};

}  // namespace

std::unique_ptr<HttpBody> OpenDirect(const HttpGetRequest& request, HttpError& error) {
    const std::wstring agent = win::Wide(request.userAgent);
    const std::wstring host = win::Wide(request.host);
    const std::wstring path = win::Wide(request.path);
    WinHttpHandle session(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                        WINHTTP_NO_PROXY_BYPASS, 0));
    WinHttpHandle connection(
        session.h ? ::WinHttpConnect(session.h, host.c_str(), static_cast<INTERNET_PORT>(request.port), 0) : nullptr);
    WinHttpHandle answer(connection.h ? ::WinHttpOpenRequest(connection.h, L"GET", path.c_str(), nullptr,
                                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                             WINHTTP_FLAG_REFRESH)
                                      : nullptr);
    const bool answered = answer.h != nullptr &&
                          ::WinHttpSendRequest(answer.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                                               0, 0) &&
                          ::WinHttpReceiveResponse(answer.h, nullptr);
    if (!answered) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(::GetLastError())};
        return nullptr;
    }
    auto body = std::make_unique<WinHttpBody>(session.h, connection.h, answer.h);
    session.h = connection.h = answer.h = nullptr;
    return body;
}

}  // namespace qb::platform
