// The start-up check's fetch through WinINet.
#include <windows.h>
#include <wininet.h>

#include <string>

#include "platform/text.h"
#include "update/http_checks.h"

namespace qb::update {
namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string wide = platform::Utf8ToWide(utf8);
    return std::wstring(wide.begin(), wide.end());
}

// The bytes of one InternetReadFile call.
constexpr DWORD kReadSize = 4096;

class WinInetDocument final : public DocumentStream {
public:
    WinInetDocument(HINTERNET root, HINTERNET request) : root_(root), request_(request) {}
    ~WinInetDocument() override {
        ::InternetCloseHandle(request_);
        ::InternetCloseHandle(root_);
    }
    WinInetDocument(const WinInetDocument&) = delete;
    WinInetDocument& operator=(const WinInetDocument&) = delete;

    Read Next(std::string& piece) override {
        piece.resize(kReadSize);
        DWORD read = 0;
        if (!::InternetReadFile(request_, piece.data(), kReadSize, &read)) {
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

std::unique_ptr<DocumentStream> OpenDocument(const std::wstring& url) {
    const std::wstring agent = Wide(kStartupUserAgent);
    HINTERNET root = ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (root == nullptr) return nullptr;
    HINTERNET request = ::InternetOpenUrlW(root, url.c_str(), nullptr, 0, 0, 0);
    if (request == nullptr) {
        ::InternetCloseHandle(root);
        return nullptr;
    }
    return std::make_unique<WinInetDocument>(root, request);
}

}  // namespace

StartupFetch WinInetStartupFetch(const UpdateServer& server) {
    std::string url = "http://" + server.host;
    if (server.port != 80) url += ":" + std::to_string(server.port);
    url += kUpdateDocumentPath;
    StartupFetch fetch;
    fetch.connected = [] {
        DWORD flags = 0;
        return ::InternetGetConnectedState(&flags, 0) != FALSE;
    };
    fetch.fetch = [wideUrl = Wide(url)] { return OpenDocument(wideUrl); };
    return fetch;
}

}  // namespace qb::update
