// The update document as the start-up check reads it: JSON whose entries
// for this product sit under "Fernhollow".
//
//   {"Fernhollow": [{"Version": "...", "Nversion": "...", "Update_URL": "..."}, ...]}
//
// Only the first entry counts; "Nversion" is the newest version.
#pragma once

#include <string>
#include <string_view>

namespace qb::update {

struct StartupDocument {
    std::string version;
    std::string nversion;
    std::string updateUrl;
};

// Reads the three texts of root."Fernhollow"[0]. A member that is missing
// or not a string, a document of another shape and bytes that are not JSON
// all give empty texts; nothing here throws.
StartupDocument ReadStartupDocument(std::string_view bytes);

// Whether the start-up check speaks: "Nversion" is set and is not exactly
// the program's version text (any difference counts, older ones too).
bool AdvertisesOtherVersion(const StartupDocument& document);

}  // namespace qb::update
