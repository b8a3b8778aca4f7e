// Fuzz target: the update documents as a hostile or broken server may send
// them. The bytes are read as the start-up check's JSON document and fed to
// the manual check's XML parser in pieces whose sizes the first byte picks;
// both must end normally, and what they report must be consistent: a newer
// version is only ever claimed for the entry that was found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "update/product_list_parser.h"
#include "update/startup_document.h"
#include "update/version_compare.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const qb::update::StartupDocument startup = qb::update::ReadStartupDocument(bytes);
    if (startup.nversion.empty()) Check(!qb::update::AdvertisesOtherVersion(startup));

    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 64;
    qb::update::ManualCheckState state = qb::update::NewManualCheckState();
    {
        qb::update::ProductListParser parser(state);
        bool ok = true;
        for (std::size_t at = 0; ok && at < bytes.size(); at += piece)
            ok = parser.Feed(bytes.substr(at, std::min(piece, bytes.size() - at)));
        if (ok) parser.Finish();
    }
    if (state.newer) {
        Check(state.found);
        Check(qb::update::IsNewerVersion(state.advertisedVersion, state.programVersion));
    }

    // Any two texts compare without trouble, and no version is newer than
    // itself unless its shape is not the four-part one.
    const std::string_view left = bytes.substr(0, size / 2), right = bytes.substr(size / 2);
    qb::update::IsNewerVersion(left, right);
    if (qb::update::IsNewerVersion(left, left)) Check(std::count(left.begin(), left.end(), '.') != 3 || left.back() == '.');
    return 0;
}
