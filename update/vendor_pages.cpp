#include "update/vendor_pages.h"

#include "update/update_constants.h"

namespace qb::update {

std::string VendorPageAddress(std::string_view path) {
    return "http://" + std::string(kUpdateHost) + std::string(path);
}

std::string HomePageAddress() { return VendorPageAddress("/"); }
std::string ProductPageAddress() { return VendorPageAddress(kDownloadPagePath); }
std::string SupportPageAddress() { return VendorPageAddress("/support.html"); }
std::string OnlineHelpAddress() { return VendorPageAddress("/online-help/quillbrook/"); }

}  // namespace qb::update
