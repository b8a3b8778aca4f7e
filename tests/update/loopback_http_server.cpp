#include "tests/update/loopback_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "tests/update/scripted_document.h"

namespace qb::update::testsupport {
namespace {

// The few differences between Winsock and POSIX sockets.
#ifdef _WIN32
using Socket = SOCKET;
using AddressLength = int;
constexpr Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutdownSend = SD_SEND;

struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
    }
    ~WinsockUser() { ::WSACleanup(); }
};

void StartSockets() { static WinsockUser winsock; }

void CloseSocket(Socket s) { ::closesocket(s); }

void SetReceiveTimeout(Socket s, int milliseconds) {
    const DWORD timeout = static_cast<DWORD>(milliseconds);
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
}
#else
using Socket = int;
using AddressLength = socklen_t;
constexpr Socket kNoSocket = -1;
// The client may hang up first; that must not end the test program.
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutdownSend = SHUT_WR;

void StartSockets() {}

void CloseSocket(Socket s) { ::close(s); }

void SetReceiveTimeout(Socket s, int milliseconds) {
    const timeval timeout {milliseconds / 1000, (milliseconds % 1000) * 1000};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}
#endif

Socket BoundLoopbackSocket() {
    StartSockets();
    const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) throw std::runtime_error("socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        CloseSocket(s);
        throw std::runtime_error("bind failed");
    }
    return s;
}

std::uint16_t PortOf(Socket s) {
    sockaddr_in address {};
    AddressLength size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

void SendAll(Socket s, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const int sent =
            static_cast<int>(::send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), kSendFlags));
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
    const Socket s = BoundLoopbackSocket();
    if (::listen(s, 8) != 0) {
        CloseSocket(s);
        throw std::runtime_error("listen failed");
    }
    listener_ = static_cast<std::uintptr_t>(s);
    port_ = PortOf(s);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop_ = true;
    thread_.join();
    CloseSocket(static_cast<Socket>(listener_));
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
    const Socket listener = static_cast<Socket>(listener_);
    while (!stop_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait {0, 50 * 1000};
        if (::select(static_cast<int>(listener) + 1, &readable, nullptr, nullptr, &wait) <= 0) continue;
        const Socket connection = ::accept(listener, nullptr, nullptr);
        if (connection == kNoSocket) continue;
        Answer(static_cast<std::uintptr_t>(connection));
        ::shutdown(connection, kShutdownSend);
        CloseSocket(connection);
    }
}

void LoopbackHttpServer::Answer(std::uintptr_t connectionValue) {
    const Socket connection = static_cast<Socket>(connectionValue);
    SetReceiveTimeout(connection, 10000);
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const int got = static_cast<int>(::recv(connection, buffer, sizeof buffer, 0));
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
    const Socket s = BoundLoopbackSocket();
    const std::uint16_t port = PortOf(s);
    CloseSocket(s);
    return port;
}

}  // namespace qb::update::testsupport
