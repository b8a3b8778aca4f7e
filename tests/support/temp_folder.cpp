#include "tests/support/temp_folder.h"

#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "platform/file.h"

namespace qb::testsupport {

ScopedTempFolder::ScopedTempFolder(std::string_view prefix) : path_(platform::MakeUniqueTempFolder(prefix)) {
    if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
}

ScopedTempFolder::~ScopedTempFolder() { platform::RemoveFolderTree(path_); }

std::string ScopedTempFolder::File(std::string_view name) const { return platform::JoinPath(path_, name); }

std::string ScopedTempFolder::Write(std::string_view name, std::string_view bytes) const {
    const std::string path = File(name);
    std::string error;
    if (!platform::WriteWholeFile(path, bytes, &error)) throw std::runtime_error(path + ": " + error);
    return path;
}

void UseLocalTimeZone(const char* tz) {
#ifdef _WIN32
    _putenv_s("TZ", tz);
    _tzset();
#else
    setenv("TZ", tz, 1);
    tzset();
#endif
}

void UseUtcLocalTime() { UseLocalTimeZone("UTC"); }

}  // namespace qb::testsupport
