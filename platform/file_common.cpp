// The parts of the file service that need no operating-system call.
#include "platform/file.h"

#include <algorithm>
#include <cstring>

namespace qb::platform {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_.size() - offset));
    std::memcpy(dst, bytes_.data() + offset, count);
    return count;
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

ReadOnlyFile::~ReadOnlyFile() { Close(); }

OutputFile::OutputFile(OutputFile&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

OutputFile::~OutputFile() { Close(); }

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
    auto file = ReadOnlyFile::Open(path, error);
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[1 << 14];
    std::uint64_t offset = 0;
    for (;;) {
        const std::size_t got = file->ReadAt(offset, chunk, sizeof chunk);
        if (got == 0) break;
        bytes.append(chunk, got);
        offset += got;
    }
    return bytes;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error) {
    std::optional<OutputFile> file = OutputFile::Create(path, error);
    return file && file->Write(bytes.data(), bytes.size(), error) && file->Close(error);
}

std::string JoinPath(std::string_view a, std::string_view b) {
    std::string out(a);
    if (!out.empty() && out.back() != '/' && out.back() != PathSeparator()) out += PathSeparator();
    out += b;
    return out;
}

}  // namespace qb::platform
