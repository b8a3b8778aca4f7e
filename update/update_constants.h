// Fixed values of the update check: what this program is, where the vendor
// publishes its newest version, and how each check introduces itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "qb_version.h"

namespace qb::update {

// The version of this program, compared with the advertised one.
inline constexpr std::string_view kProgramVersion = QB_VERSION_TEXT;
// The product's entry in the vendor's product list (manual check).
inline constexpr std::string_view kProductName = "Velmora Quillbrook";

// The vendor's web server. The update document, the product page and the
// other pages of the site live there; plain HTTP.
inline constexpr std::string_view kUpdateHost = "www.velmora.com";
inline constexpr std::uint16_t kUpdatePort = 80;

// The update document, read as JSON by the start-up check and as XML by
// the manual check.
inline constexpr std::string_view kUpdateDocumentPath = "/win-update.xml";
// The product page, where the new version is downloaded.
inline constexpr std::string_view kDownloadPagePath = "/quillbrook.html";

inline constexpr std::string_view kStartupUserAgent = "Velmora@Update";
inline constexpr std::string_view kManualUserAgent = "WinHTTP Example/1.0";

}  // namespace qb::update
