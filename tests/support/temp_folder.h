// Scratch folders for tests that read and write real files.
#pragma once

#include <string>
#include <string_view>

namespace qb::testsupport {

// A new, empty folder under the system's temporary folder, deleted with
// everything in it when the object goes out of scope. Throws
// std::runtime_error when the folder cannot be made.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(std::string_view prefix = "qb-test-");
    ~ScopedTempFolder();
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

    // The folder, without a trailing separator.
    const std::string& path() const { return path_; }
    // The path of an entry of the folder (which need not exist).
    std::string File(std::string_view name) const;
    // Writes bytes into a new file of the folder and returns its path.
    // Throws std::runtime_error when the file cannot be written.
    std::string Write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// Makes local time UTC for this process, so that date texts can be compared
// with fixed strings even when a test binary is started by hand.
void UseUtcLocalTime();
// The same with a time zone in the TZ form both C libraries read ("EST5EDT").
void UseLocalTimeZone(const char* tz);

}  // namespace qb::testsupport
