#include "tests/update/loopback_http_server.h"

#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "tests/update/scripted_document.h"

namespace qb::update::testsupport {
namespace {

struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    ~WinsockUser() { ::WSACleanup(); }
};

SOCKET BoundLoopbackSocket() {
    static WinsockUser winsock;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        throw std::runtime_error("bind failed");
    }
    return s;
}

std::uint16_t PortOf(SOCKET s) {
    sockaddr_in address {};
    int size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

void SendAll(SOCKET s, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const int sent = ::send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
        if (sent <= 0) return;
        at += static_cast<std::size_t>(sent);
    }
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The request line and the User-Agent value of a request head.
ServedRequest ReadRequest(const std::string& head) {
    ServedRequest request;
    std::size_t lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = head.size();
        const std::string line = head.substr(lineStart, lineEnd - lineStart);
        if (first) {
            request.requestLine = line;
            first = false;
        } else if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
            if (Lower(line.substr(0, colon)) == "user-agent") {
                std::size_t value = colon + 1;
                while (value < line.size() && line[value] == ' ') ++value;
                request.userAgent = line.substr(value);
            }
        }
        lineStart = lineEnd + 2;
    }
    return request;
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(ServedAnswer answer) : answer_(std::move(answer)) {
    const SOCKET s = BoundLoopbackSocket();
    if (::listen(s, 8) != 0) {
        ::closesocket(s);
        throw std::runtime_error("listen failed");
    }
    listener_ = static_cast<std::uintptr_t>(s);
    port_ = PortOf(s);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop_ = true;
    thread_.join();
    ::closesocket(static_cast<SOCKET>(listener_));
}

void LoopbackHttpServer::SetAnswer(ServedAnswer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
}

std::vector<ServedRequest> LoopbackHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackHttpServer::Serve() {
    const SOCKET listener = static_cast<SOCKET>(listener_);
    while (!stop_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait {0, 50 * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        const SOCKET connection = ::accept(listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) continue;
        Answer(static_cast<std::uintptr_t>(connection));
        ::shutdown(connection, SD_SEND);
        ::closesocket(connection);
    }
}

void LoopbackHttpServer::Answer(std::uintptr_t connectionValue) {
    const SOCKET connection = static_cast<SOCKET>(connectionValue);
    const DWORD timeout = 10000;
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const int got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    const ServedRequest request = ReadRequest(head.substr(0, head.find("\r\n\r\n")));
    ServedAnswer answer;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        answer = answer_;
    }
    if (request.requestLine.rfind("GET /win-update.xml ", 0) != 0) {
        SendAll(connection, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
    }
    std::string response =
        "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nCache-Control: no-store, no-cache\r\nConnection: close\r\n";
    switch (answer.framing) {
    case Framing::ContentLength:
        response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        break;
    case Framing::Chunked:
        response += "Transfer-Encoding: chunked\r\n";
        break;
    case Framing::Close:
        break;
    }
    response += "\r\n";
    SendAll(connection, response);
    for (const std::string& piece : Split(answer.body, answer.pieces)) {
        if (answer.framing == Framing::Chunked) {
            if (piece.empty()) continue;  // an empty chunk would end the body
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
            SendAll(connection, size + piece + "\r\n");
        } else {
            SendAll(connection, piece);
        }
        if (answer.pieces.size() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    if (answer.framing == Framing::Chunked) SendAll(connection, "0\r\n\r\n");
}

std::uint16_t ClosedLoopbackPort() {
    const SOCKET s = BoundLoopbackSocket();
    const std::uint16_t port = PortOf(s);
    ::closesocket(s);
    return port;
}

}  // namespace qb::update::testsupport

#endif  // _WIN32
