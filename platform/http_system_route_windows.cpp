// GET requests that follow the system's settings, through WinINet.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "platform/http_routes_windows.h"
#include "platform/windows_support.h"

namespace qb::platform {
namespace {

// The bytes of one InternetReadFile call.
constexpr DWORD kSystemReadSize = 4096;

class WinInetBody final : public HttpBody {
public:
    WinInetBody(HINTERNET root, HINTERNET request) : root_(root), request_(request) {}
    ~WinInetBody() override {
        ::InternetCloseHandle(request_);
        ::InternetCloseHandle(root_);
    }
    WinInetBody(const WinInetBody&) = delete;
    WinInetBody& operator=(const WinInetBody&) = delete;

    Read Next(std::string& piece, HttpError& error) override {
        piece.resize(kSystemReadSize);
        DWORD read = 0;
        if (!::InternetReadFile(request_, piece.data(), kSystemReadSize, &read)) {
            error = {HttpError::Step::Read, static_cast<std::uint32_t>(::GetLastError())};
            piece.clear();
            return Read::Failed;
        }
        piece.resize(read);
        return read == 0 ? Read::End : Read::Piece;
    }

private:
    HINTERNET root_;
    HINTERNET request_;
};

}  // namespace

std::unique_ptr<HttpBody> OpenWithSystemSettings(const HttpGetRequest& request, HttpError& error) {
    std::string url = "http://" + request.host;
    if (request.port != 80) url += ":" + std::to_string(request.port);
    url += request.path;
    const std::wstring agent = win::Wide(request.userAgent);
    const std::wstring wideUrl = win::Wide(url);
    HINTERNET root = ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (root == nullptr) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(::GetLastError())};
        return nullptr;
    }
    HINTERNET answer = ::InternetOpenUrlW(root, wideUrl.c_str(), nullptr, 0, 0, 0);
    if (answer == nullptr) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(::GetLastError())};
        ::InternetCloseHandle(root);
        return nullptr;
    }
    return std::make_unique<WinInetBody>(root, answer);
}

bool HasNetworkConnection() {
    DWORD flags = 0;
    return ::InternetGetConnectedState(&flags, 0) != FALSE;
}

}  // namespace qb::platform
