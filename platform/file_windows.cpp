// File service on Windows: UTF-8 paths are converted to UTF-16 here and go
// to the wide-character system calls; both separators are accepted.
#include "platform/file.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "platform/windows_support.h"

namespace qb::platform {
namespace {

using win::Narrow;
using win::ReadAtOffset;
using win::ScopedHandle;
using win::SystemErrorText;
using win::Wide;

std::string LastErrorText() { return SystemErrorText(::GetLastError()); }

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()); }

bool WriteAll(HANDLE handle, const void* data, std::size_t n) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    while (written < n) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - written, 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(handle, bytes + written, want, &done, nullptr) || done == 0) return false;
        written += done;
    }
    return true;
}

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia {}, ib {};
    return ::GetFileInformationByHandle(a, &ia) && ::GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace

std::optional<ReadOnlyFile> ReadOnlyFile::Open(const std::string& path, std::string* error) {
    HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const DWORD attributes = Attributes(path);
        SetError(error, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                            ? "is a folder"
                            : SystemErrorText(code));
        return std::nullopt;
    }
    return ReadOnlyFile(reinterpret_cast<std::intptr_t>(handle));
}

void ReadOnlyFile::Close() {
    if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

std::size_t ReadOnlyFile::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    return ReadAtOffset(AsHandle(handle_), offset, dst, n);
}

std::uint64_t ReadOnlyFile::Size() const {
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(AsHandle(handle_), &size) || size.QuadPart < 0) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::string& path) {
    if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
    return ::GetLastError() == ERROR_ALREADY_EXISTS && FolderExists(path);
}

bool CreateFolders(const std::string& path) {
    if (path.empty()) return false;
    // Parents are created from the first element after a drive ("C:\") or a
    // share ("\\server\share\"), which exist or cannot be made.
    std::size_t from = 1;
    if (path.size() >= 2 && path[1] == ':') from = 3;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t seen = 0;
        for (from = 2; from < path.size() && seen < 2; ++from)
            if (IsSeparator(path[from])) ++seen;
    }
    for (std::size_t pos = from; pos < path.size(); ++pos) {
        if (!IsSeparator(path[pos])) continue;
        const std::string prefix = path.substr(0, pos);
        if (!FolderExists(prefix) && !CreateFolder(prefix)) return false;
    }
    return CreateFolder(path);
}

bool CopyFileReplace(const std::string& from, const std::string& to, std::string* error) {
    ScopedHandle in(::CreateFileW(Wide(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.valid()) {
        SetError(error, from + ": " + LastErrorText());
        return false;
    }
    // The target is truncated only once it is known not to be the source
    // itself (the same path, or another name of the same file).
    ScopedHandle out(::CreateFileW(Wide(to).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) {
        SetError(error, to + ": " + LastErrorText());
        return false;
    }
    if (SameFile(in.get(), out.get())) return true;
    if (!::SetEndOfFile(out.get())) {
        SetError(error, to + ": " + LastErrorText());
        return false;
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            SetError(error, from + ": " + LastErrorText());
            return false;
        }
        if (got == 0) break;
        if (!WriteAll(out.get(), buffer.data(), got)) {
            SetError(error, to + ": " + LastErrorText());
            return false;
        }
    }
    if (!::CloseHandle(out.release())) {
        SetError(error, to + ": " + LastErrorText());
        return false;
    }
    return true;
}

bool DeleteFileIfExists(const std::string& path) {
    if (::DeleteFileW(Wide(path).c_str())) return true;
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// Deletes without asking and without the recycle bin. A link to a folder
// (a junction or symbolic link) is removed itself; what it points to is
// left alone.
bool RemoveFolderTree(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ::DeleteFileW(wide.c_str()) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return ::RemoveDirectoryW(wide.c_str()) != 0;

    bool ok = true;
    WIN32_FIND_DATAW entry {};
    HANDLE find = ::FindFirstFileW((wide + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            ok = RemoveFolderTree(Narrow(wide + L"\\" + name)) && ok;
        } while (::FindNextFileW(find, &entry));
        ::FindClose(find);
    }
    return ::RemoveDirectoryW(wide.c_str()) != 0 && ok;
}

std::optional<OutputFile> OutputFile::Create(const std::string& path, std::string* error, FileAccess access) {
    const std::wstring wide = Wide(path);
    DWORD disposition = CREATE_ALWAYS;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (access == FileAccess::OwnerOnly) {
        // Whatever is there goes (a link itself, not what it points to), and
        // the file is created anew, so nothing is written through a link.
        if (!::DeleteFileW(wide.c_str())) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
                SetError(error, SystemErrorText(code));
                return std::nullopt;
            }
        }
        disposition = CREATE_NEW;
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    }
    HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        SetError(error, LastErrorText());
        return std::nullopt;
    }
    return OutputFile(reinterpret_cast<std::intptr_t>(handle));
}

bool OutputFile::Write(const void* data, std::size_t n, std::string* error) {
    if (handle_ == -1) {
        SetError(error, "file is closed");
        return false;
    }
    if (!WriteAll(AsHandle(handle_), data, n)) {
        SetError(error, LastErrorText());
        return false;
    }
    return true;
}

bool OutputFile::Close(std::string* error) {
    if (handle_ == -1) return true;
    const BOOL ok = ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
    if (!ok) {
        SetError(error, LastErrorText());
        return false;
    }
    return true;
}

bool CreatePrivateFolder(const std::string& path, std::string* error) {
    const DWORD attributes = Attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            SetError(error, path + ": a link stands there");
            return false;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetError(error, path + ": a file stands there");
            return false;
        }
        return true;
    }
    if (!::CreateDirectoryW(Wide(path).c_str(), nullptr)) {
        SetError(error, path + ": " + LastErrorText());
        return false;
    }
    return true;
}

bool RestrictToOwner(const std::string& path, std::string* error) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        SetError(error, path + ": not a regular file");
        return false;
    }
    return true;
}

std::string TempFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::string out = (n > 0 && n <= MAX_PATH + 1) ? Narrow(std::wstring(buffer, n)) : std::string("C:\\Windows\\Temp\\");
    if (!IsSeparator(out.back())) out += '\\';
    return out;
}

std::string MakeUniqueTempFolder(std::string_view prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed() ^ (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::string base = TempFolder() + std::string(prefix);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = base;
        for (int i = 0; i < 6; ++i) path += kLetters[random() % (sizeof kLetters - 1)];
        if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return path;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

std::string ExecutableFolder() {
    std::vector<wchar_t> buffer(4096);
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return ".";
    std::wstring path(buffer.data(), n);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? "." : Narrow(path.substr(0, slash));
}

char PathSeparator() { return '\\'; }

}  // namespace qb::platform
