// The addresses of the vendor's pages that the program opens in a browser,
// all on the vendor's web server (kUpdateHost).
#pragma once

#include <string>
#include <string_view>

namespace qb::update {

// "http://<vendor host><path>"; the path starts with "/".
std::string VendorPageAddress(std::string_view path);

std::string HomePageAddress();     // the site's front page
std::string ProductPageAddress();  // where the new version is downloaded
std::string SupportPageAddress();
std::string OnlineHelpAddress();

}  // namespace qb::update
