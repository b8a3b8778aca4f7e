// HTTP on POSIX systems: a plain http:// client over a TCP socket, HTTP/1.1
// with one request per connection. Both routes go straight to the server;
// the direct one also asks every cache on the way for a fresh copy. Every
// wait is bounded, so a silent or endless server cannot hold the caller.
#include "platform/http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace qb::platform {
namespace {

// The system libraries' defaults on Windows: one minute to connect, half a
// minute for each send and each wait for more of the answer.
constexpr int kConnectTimeoutMs = 60 * 1000;
constexpr int kTransferTimeoutMs = 30 * 1000;
// A head longer than this is not an answer this client reads.
constexpr std::size_t kMaxHead = 64 * 1024;
// The most handed out per piece.
constexpr std::size_t kMaxPiece = 64 * 1024;
constexpr std::size_t kReceiveSize = 16 * 1024;

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&&) = delete;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Waits until the socket is ready for `events`; false with errno set on a
// time-out (ETIMEDOUT) or an error.
bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd entry {fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready > 0) return true;
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) return false;
    }
}

// A connected non-blocking socket, or -1 with errno set.
Socket Connect(const std::string& host, std::uint16_t port) {
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int failed = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failed != 0) {
        errno = failed == EAI_SYSTEM ? errno : EHOSTUNREACH;
        return Socket();
    }
    int lastError = ECONNREFUSED;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        Socket s(::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at->ai_protocol));
        if (s.fd() < 0) {
            lastError = errno;
            continue;
        }
        if (::connect(s.fd(), at->ai_addr, at->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                lastError = errno;
                continue;
            }
            if (!WaitFor(s.fd(), POLLOUT, kConnectTimeoutMs)) {
                lastError = errno;
                continue;
            }
            int result = 0;
            socklen_t size = sizeof result;
            if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &result, &size) != 0) result = errno;
            if (result != 0) {
                lastError = result;
                continue;
            }
        }
        ::freeaddrinfo(found);
        return s;
    }
    ::freeaddrinfo(found);
    errno = lastError;
    return Socket();
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, kTransferTimeoutMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// How the end of the body is known.
enum class Framing { Length, Chunked, Close, Empty };

class SocketBody final : public HttpBody {
public:
    explicit SocketBody(Socket socket) : socket_(std::move(socket)) {}

    // Reads the head of the final answer, past any interim ones; false with
    // errno set when there is no readable one.
    bool ReadHead() {
        int status = 0;
        std::string head;
        while (status < 200) {
            if (!ReadOneHead(head, status)) return false;
        }
        framing_ = Framing::Close;
        if (status == 204 || status == 304) framing_ = Framing::Empty;
        std::size_t lineStart = head.find("\r\n");
        while (lineStart != std::string::npos && framing_ != Framing::Empty) {
            lineStart += 2;
            const std::size_t lineEnd = head.find("\r\n", lineStart);
            const std::string_view line(head.data() + lineStart,
                                        (lineEnd == std::string::npos ? head.size() : lineEnd) - lineStart);
            const std::size_t colon = line.find(':');
            if (colon != std::string_view::npos) {
                const std::string name = Lower(Trimmed(line.substr(0, colon)));
                const std::string value = Lower(Trimmed(line.substr(colon + 1)));
                if (name == "transfer-encoding" && value.find("chunked") != std::string::npos) {
                    framing_ = Framing::Chunked;
                } else if (name == "content-length" && framing_ != Framing::Chunked) {
                    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
                        value.size() > 18) {
                        return Malformed();
                    }
                    framing_ = Framing::Length;
                    remaining_ = std::strtoull(value.c_str(), nullptr, 10);
                }
            }
            lineStart = lineEnd;
        }
        return true;
    }

    Read Next(std::string& piece, HttpError& error) override {
        piece.clear();
        if (failed_) return Fail(error, EBADMSG);
        switch (framing_) {
        case Framing::Empty:
            return Read::End;
        case Framing::Close:
            if (buffer_.empty()) {
                if (closed_) return Read::End;
                if (!Receive()) return Fail(error, errno);
                if (buffer_.empty()) return Read::End;
            }
            return Hand(buffer_.size(), piece);
        case Framing::Length:
            if (remaining_ == 0) return Read::End;
            if (buffer_.empty()) {
                if (!Receive()) return Fail(error, errno);
                if (buffer_.empty()) return Fail(error, ECONNRESET);
            }
            return HandCounted(piece);
        case Framing::Chunked:
            return NextChunked(piece, error);
        }
        return Read::End;
    }

private:
    bool Malformed() {
        errno = EBADMSG;
        return false;
    }

    // The received bytes up to `terminator`, which is consumed too; false
    // with errno set when it does not come within kMaxHead bytes.
    bool TakeUntil(std::string_view terminator, std::string& text) {
        std::size_t end;
        while ((end = buffer_.find(terminator)) == std::string::npos) {
            if (buffer_.size() > kMaxHead) return Malformed();
            if (!Receive()) return false;
            if (closed_) {
                errno = ECONNRESET;
                return false;
            }
        }
        text.assign(buffer_, 0, end);
        buffer_.erase(0, end + terminator.size());
        return true;
    }

    // One head, "HTTP/1.x NNN reason" and its header lines.
    bool ReadOneHead(std::string& head, int& status) {
        if (!TakeUntil("\r\n\r\n", head)) return false;
        if (head.compare(0, 5, "HTTP/") != 0) return Malformed();
        const std::size_t space = head.find(' ');
        if (space == std::string::npos || space + 4 > head.size()) return Malformed();
        status = std::atoi(head.c_str() + space + 1);
        if (status < 100 || status > 999) return Malformed();
        return true;
    }

    Read Fail(HttpError& error, int code) {
        failed_ = true;
        error = {HttpError::Step::Read, static_cast<std::uint32_t>(code)};
        return Read::Failed;
    }

    // Appends what arrives next to the buffer; at the end of the
    // connection sets closed_ and adds nothing. False with errno set on an
    // error or a time-out.
    bool Receive() {
        if (closed_) return true;
        char chunk[kReceiveSize];
        for (;;) {
            const ssize_t got = ::recv(socket_.fd(), chunk, sizeof chunk, 0);
            if (got > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(got));
                return true;
            }
            if (got == 0) {
                closed_ = true;
                return true;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
            if (!WaitFor(socket_.fd(), POLLIN, kTransferTimeoutMs)) return false;
        }
    }

    Read Hand(std::size_t n, std::string& piece) {
        n = std::min({n, buffer_.size(), kMaxPiece});
        piece.assign(buffer_, 0, n);
        buffer_.erase(0, n);
        return Read::Piece;
    }

    Read HandCounted(std::string& piece) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, std::min(buffer_.size(), kMaxPiece)));
        remaining_ -= n;
        return Hand(n, piece);
    }

    // One line of the chunked framing, without its CRLF.
    bool TakeLine(std::string& line) { return TakeUntil("\r\n", line); }

    Read NextChunked(std::string& piece, HttpError& error) {
        std::string line;
        while (remaining_ == 0) {
            if (chunkDone_) return Read::End;
            if (inChunk_) {
                // The CRLF after a chunk's data.
                if (!TakeLine(line)) return Fail(error, errno);
                if (!line.empty()) return Fail(error, EBADMSG);
                inChunk_ = false;
            }
            if (!TakeLine(line)) return Fail(error, errno);
            const std::string_view size = Trimmed(std::string_view(line).substr(0, line.find(';')));
            if (size.empty() || size.size() > 15 ||
                size.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
                return Fail(error, EBADMSG);
            }
            remaining_ = std::strtoull(std::string(size).c_str(), nullptr, 16);
            if (remaining_ == 0) {
                // Trailers up to the empty line end the body.
                do {
                    if (!TakeLine(line)) return Fail(error, errno);
                } while (!line.empty());
                chunkDone_ = true;
                return Read::End;
            }
            inChunk_ = true;
        }
        if (buffer_.empty()) {
            if (!Receive()) return Fail(error, errno);
            if (buffer_.empty()) return Fail(error, ECONNRESET);
        }
        return HandCounted(piece);
    }

    Socket socket_;
    std::string buffer_;  // received, not yet handed out
    Framing framing_ = Framing::Close;
    std::uint64_t remaining_ = 0;  // of the body (Length) or of the chunk
    bool inChunk_ = false;
    bool chunkDone_ = false;
    bool closed_ = false;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<HttpBody> OpenHttpGet(const HttpGetRequest& request, HttpError& error) {
    Socket socket = Connect(request.host, request.port);
    if (socket.fd() < 0) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(errno)};
        return nullptr;
    }
    std::string text = "GET " + request.path + " HTTP/1.1\r\nHost: " + request.host;
    if (request.port != 80) text += ":" + std::to_string(request.port);
    text += "\r\nUser-Agent: " + request.userAgent + "\r\n";
    if (request.route == HttpRoute::Direct) text += "Pragma: no-cache\r\nCache-Control: no-cache\r\n";
    text += "Connection: close\r\n\r\n";
    if (!SendAll(socket.fd(), text)) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(errno)};
        return nullptr;
    }
    auto body = std::make_unique<SocketBody>(std::move(socket));
    if (!body->ReadHead()) {
        error = {HttpError::Step::Request, static_cast<std::uint32_t>(errno)};
        return nullptr;
    }
    return body;
}

bool HasNetworkConnection() { return true; }

}  // namespace qb::platform
