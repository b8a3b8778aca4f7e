// File service on POSIX systems: paths are UTF-8 already, so they go to the
// system calls unchanged.
#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qb::platform {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, ErrnoText());
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetError(error, "is a folder");
        return std::nullopt;
    }
    return ReadOnlyFile(fd);
}

void ReadOnlyFile::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    std::size_t total = 0;
    auto* out = static_cast<unsigned char*>(dst);
    while (total < n) {
        const ssize_t got = ::pread(static_cast<int>(handle_), out + total, n - total,
                                    static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
    }
    return total;
}

std::uint64_t ReadOnlyFile::Size() const {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    return errno == EEXIST && FolderExists(path);
}

bool CreateFolders(const std::string& path) {
    if (path.empty()) return false;
    for (std::size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string prefix = path.substr(0, pos);
        if (!FolderExists(prefix) && !CreateFolder(prefix)) return false;
    }
    return CreateFolder(path);
}

bool CopyFileReplace(const std::string& from, const std::string& to, std::string* error) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        SetError(error, from + ": " + ErrnoText());
        return false;
    }
    // The target is truncated only once it is known not to be the source
    // itself (the same path, or another name of the same file).
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (out < 0) {
        SetError(error, to + ": " + ErrnoText());
        ::close(in);
        return false;
    }
    struct stat inStat {}, outStat {};
    if (::fstat(in, &inStat) == 0 && ::fstat(out, &outStat) == 0 && inStat.st_dev == outStat.st_dev &&
        inStat.st_ino == outStat.st_ino) {
        ::close(in);
        ::close(out);
        return true;
    }
    if (::ftruncate(out, 0) != 0) {
        SetError(error, to + ": " + ErrnoText());
        ::close(in);
        ::close(out);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            SetError(error, from + ": " + ErrnoText());
            ok = false;
            break;
        }
        if (got == 0) break;
        ssize_t written = 0;
        while (written < got) {
            const ssize_t w = ::write(out, buffer.data() + written, static_cast<std::size_t>(got - written));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                SetError(error, to + ": " + ErrnoText());
                ok = false;
                break;
            }
            written += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        SetError(error, to + ": " + ErrnoText());
        ok = false;
    }
    return ok;
}

bool DeleteFileIfExists(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool RemoveFolderTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    bool ok = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        ok = RemoveFolderTree(path + "/" + name) && ok;
    }
    ::closedir(dir);
    return ::rmdir(path.c_str()) == 0 && ok;
}

std::optional<OutputFile> OutputFile::Create(const std::string& path, std::string* error, FileAccess access) {
    int fd = -1;
    if (access == FileAccess::OwnerOnly) {
        // Whatever is there goes (a link itself, not what it points to); the
        // new file is this process's own, and O_EXCL with O_NOFOLLOW refuses
        // one that reappears in between.
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        }
    } else {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
        SetError(error, ErrnoText());
        return std::nullopt;
    }
    return OutputFile(fd);
}

bool CreatePrivateFolder(const std::string& path, std::string* error) {
    const uid_t me = ::geteuid();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (st.st_uid != me) {
            SetError(error, path + ": owned by another user");
            return false;
        }
        if (!RemoveFolderTree(path)) {
            SetError(error, path + ": cannot delete what an earlier run left there: " + ErrnoText());
            return false;
        }
    } else if (errno != ENOENT) {
        SetError(error, path + ": " + ErrnoText());
        return false;
    }
    if (::mkdir(path.c_str(), 0700) != 0) {
        SetError(error, path + ": " + (errno == EEXIST ? std::string("made by someone else meanwhile") : ErrnoText()));
        return false;
    }
    // The folder just made, opened without following a link: its mode is set
    // whatever the umask took away.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, path + ": " + ErrnoText());
        return false;
    }
    const bool ok = ::fstat(fd, &st) == 0 && st.st_uid == me && ::fchmod(fd, 0700) == 0;
    if (!ok) SetError(error, path + ": cannot be made private: " + ErrnoText());
    ::close(fd);
    return ok;
}

bool RestrictToOwner(const std::string& path, std::string* error) {
    // O_NONBLOCK: a FIFO at the path must not hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetError(error, path + ": " + ErrnoText());
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) SetError(error, path + ": not a regular file");
    if (ok && ::fchmod(fd, 0600) != 0) {
        SetError(error, path + ": " + ErrnoText());
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool OutputFile::Write(const void* data, std::size_t n, std::string* error) {
    if (handle_ < 0) {
        SetError(error, "file is closed");
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    while (written < n) {
        const ssize_t w = ::write(static_cast<int>(handle_), bytes + written, n - written);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            SetError(error, ErrnoText());
            return false;
        }
        written += static_cast<std::size_t>(w);
    }
    return true;
}

bool OutputFile::Close(std::string* error) {
    if (handle_ < 0) return true;
    const int rc = ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (rc != 0) {
        SetError(error, ErrnoText());
        return false;
    }
    return true;
}

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    std::string out = (dir && *dir) ? dir : "/tmp";
    if (out.back() != '/') out += '/';
    return out;
}

std::string MakeUniqueTempFolder(std::string_view prefix) {
    std::string pattern = TempFolder() + std::string(prefix) + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) return {};
    return std::string(buffer.data());
}

std::string ExecutableFolder() {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return ".";
    std::string path(buffer.data(), static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

char PathSeparator() { return '/'; }

}  // namespace qb::platform
