// Files and folders by UTF-8 path. The only place that knows how the
// operating system names and opens files; everything above passes UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb::platform {

// Random-access reads, the way the raw database pass and the carving engine
// read: an offset and a byte count, no shared file position.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to n bytes from offset into dst and returns how many were
    // copied; fewer than n only at the end of the data or on a read error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const = 0;
    virtual std::uint64_t Size() const = 0;
};

// A file opened read-only. Move-only; the handle is closed with the object.
class ReadOnlyFile final : public ByteSource {
public:
    // Empty when the file cannot be opened; *error then holds the reason.
    static std::optional<ReadOnlyFile> Open(const std::string& path, std::string* error = nullptr);

    ReadOnlyFile(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile& operator=(ReadOnlyFile&& other) noexcept;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    ~ReadOnlyFile() override;

    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    std::uint64_t Size() const override;

private:
    explicit ReadOnlyFile(std::intptr_t handle) : handle_(handle) {}
    void Close();
    std::intptr_t handle_ = -1;
};

// Bytes held in memory, read through the same interface as a file.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    std::uint64_t Size() const override { return bytes_.size(); }

private:
    std::string_view bytes_;
};

// Who may open a file created for writing.
enum class FileAccess {
    Shared,     // as the system makes files by default
    // Only this user (mode 0600 on POSIX). Whatever was at the path, a link
    // among them, is replaced: the file is created anew and never written
    // through a link.
    OwnerOnly,
};

// A file created (or truncated) for writing. Move-only; closed with the object.
class OutputFile final {
public:
    // Empty when the file cannot be created; *error then holds the reason.
    static std::optional<OutputFile> Create(const std::string& path, std::string* error = nullptr,
                                            FileAccess access = FileAccess::Shared);

    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Writes every byte or reports failure.
    bool Write(const void* data, std::size_t n, std::string* error = nullptr);
    // Closes the file; false when the last writes could not be completed.
    bool Close(std::string* error = nullptr);

private:
    explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_ = -1;
};

bool FileExists(const std::string& path);        // a regular file
bool FolderExists(const std::string& path);
// Creates one folder; an existing folder counts as success.
bool CreateFolder(const std::string& path);
// Creates a folder and every missing parent.
bool CreateFolders(const std::string& path);
// Copies a file, replacing the target. The error text names the failing side.
// A target that is the source itself (by path or another name of the same
// file) is left as it is.
bool CopyFileReplace(const std::string& from, const std::string& to, std::string* error = nullptr);
// Deletes a file; a file that does not exist is no error.
bool DeleteFileIfExists(const std::string& path);
// Gives a file another name in the same folder, replacing a file of that
// name.
bool RenameFile(const std::string& from, const std::string& to);
// Deletes a folder with everything in it; a missing folder is no error.
// Links inside are deleted themselves, never followed.
bool RemoveFolderTree(const std::string& path);

// A folder for copies of private data that only this user may enter.
// On POSIX it is made afresh with mode 0700: what this user had at the path
// (a folder tree, a file or a link) is deleted first without following any
// link, and a folder, file or link of another user there is refused, as is
// one that appears between the deletion and the creation. On Windows, where
// the user's temporary folder is the user's own, an existing folder is kept
// and a link (junction or symbolic link) at the path is refused. False with
// the reason when the folder cannot be had.
bool CreatePrivateFolder(const std::string& path, std::string* error = nullptr);

// Narrows a file that another program wrote (a copy a child process made)
// to this user alone, mode 0600 on POSIX, without following a link: a link,
// a missing file or anything but a regular file gives false. On Windows a
// regular file is left as it is.
bool RestrictToOwner(const std::string& path, std::string* error = nullptr);

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error = nullptr);
// Creates or truncates the file and writes the bytes.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// The user's temporary folder, with its trailing separator.
std::string TempFolder();
// A new, empty, private folder under the temporary folder (no trailing
// separator); empty on failure.
std::string MakeUniqueTempFolder(std::string_view prefix);
// The folder that holds the running executable, without a trailing separator.
std::string ExecutableFolder();

// The separator the system writes between path elements.
char PathSeparator();
// a + separator + b, without doubling a separator that a already ends with.
std::string JoinPath(std::string_view a, std::string_view b);

}  // namespace qb::platform
