#include "update/startup_document.h"

#include <json/json.h>

#include <memory>
#include <string_view>

#include "update/update_constants.h"

namespace qb::update {
namespace {

// The member of an object, or nullptr.
const Json::Value* Member(const Json::Value& object, std::string_view name) {
    return object.find(name.data(), name.data() + name.size());
}

std::string MemberText(const Json::Value& entry, std::string_view name) {
    const Json::Value* member = Member(entry, name);
    if (member == nullptr || !member->isString()) return {};
    return member->asString();
}

StartupDocument ReadEntry(std::string_view bytes) {
    if (bytes.empty()) return {};
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(bytes.data(), bytes.data() + bytes.size(), &root, &errors)) return {};
    if (!root.isObject()) return {};
    const Json::Value* entries = Member(root, "Fernhollow");
    if (entries == nullptr || !entries->isArray() || entries->empty()) return {};
    const Json::Value& first = (*entries)[0u];
    if (!first.isObject()) return {};
    return {MemberText(first, "Version"), MemberText(first, "Nversion"), MemberText(first, "Update_URL")};
}

}  // namespace

StartupDocument ReadStartupDocument(std::string_view bytes) {
    // The reader throws on documents nested deeper than its stack limit and
    // on a few other malformed inputs; any of them is simply not a usable
    // document.
    try {
        return ReadEntry(bytes);
    } catch (...) {
        return {};
    }
}

bool AdvertisesOtherVersion(const StartupDocument& document) {
    return !document.nversion.empty() && document.nversion != kProgramVersion;
}

}  // namespace qb::update
