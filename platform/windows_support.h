// Pieces the Windows implementations of the platform services share: path
// and text conversion for the wide-character system calls, the system's
// error texts, an owned handle, and reads at an explicit offset. Included
// only by platform/*_windows.cpp.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qb::platform::win {

// UTF-8 to the UTF-16 the W calls take, and back.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The system's own text for an error code, in UTF-8, without the line
// break it ends with ("system error N" when the system has none).
std::string SystemErrorText(DWORD code);

// A kernel handle closed with the object. Both INVALID_HANDLE_VALUE and
// null count as no handle.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    // Closes the handle held and takes the one given.
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid()) ::CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Reads up to n bytes at offset through a handle opened for synchronous
// I/O, naming the offset in each request so that no reader depends on a
// file position another may have moved. Fewer bytes only at the end of the
// data or on an error.
std::size_t ReadAtOffset(HANDLE handle, std::uint64_t offset, void* dst, std::size_t n);

}  // namespace qb::platform::win
