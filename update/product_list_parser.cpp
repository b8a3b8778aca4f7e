#include "update/product_list_parser.h"

#include <expat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "update/update_constants.h"
#include "update/version_compare.h"

namespace qb::update {
namespace {

void ApplyStartTag(ManualCheckState& state, std::string_view tag, const char* const* attributes) {
    if (state.found || tag != "product" || attributes == nullptr) return;
    // expat hands the attributes over as name, value, name, value, ...,
    // nullptr; XML forbids an attribute twice in one tag.
    const char* version = nullptr;
    for (const char* const* a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2) {
        if (std::strcmp(a[0], "name") == 0) {
            if (state.productName == a[1]) state.found = true;
        } else if (std::strcmp(a[0], "version") == 0) {
            version = a[1];
        }
    }
    if (!state.found || version == nullptr) return;
    state.advertisedVersion = version;
    state.newer = IsNewerVersion(state.advertisedVersion, state.programVersion);
}

void XMLCALL OnStartElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    ApplyStartTag(*static_cast<ManualCheckState*>(userData), name, attributes);
}

void XMLCALL OnEndElement(void*, const XML_Char*) {}

void XMLCALL OnCharacterData(void*, const XML_Char*, int) {}

// Pieces are handed to expat in slices it can count with an int.
constexpr std::size_t kSlice = std::size_t {1} << 20;

}  // namespace

ManualCheckState NewManualCheckState() {
    ManualCheckState state;
    state.productName = kProductName;
    state.programVersion = kProgramVersion;
    return state;
}

ProductListParser::ProductListParser(ManualCheckState& state) : parser_(XML_ParserCreate(nullptr)) {
    if (parser_ == nullptr) return;
    XML_SetUserData(parser_, &state);
    XML_SetElementHandler(parser_, OnStartElement, OnEndElement);
    XML_SetCharacterDataHandler(parser_, OnCharacterData);
}

ProductListParser::~ProductListParser() {
    if (parser_ != nullptr) XML_ParserFree(parser_);
}

bool ProductListParser::Feed(std::string_view piece) {
    while (!piece.empty()) {
        const std::size_t size = std::min(piece.size(), kSlice);
        if (!Parse(piece.data(), static_cast<int>(size), false)) return false;
        piece.remove_prefix(size);
    }
    return !failed_ && parser_ != nullptr;
}

bool ProductListParser::Finish() { return Parse(nullptr, 0, true); }

bool ProductListParser::Parse(const char* data, int size, bool final) {
    if (failed_ || parser_ == nullptr) return false;
    if (XML_Parse(parser_, data, size, final ? 1 : 0) != XML_STATUS_ERROR) return true;
    failed_ = true;
    std::fprintf(stderr, "%s at line %lu \n", XML_ErrorString(XML_GetErrorCode(parser_)),
                 static_cast<unsigned long>(XML_GetCurrentLineNumber(parser_)));
    return false;
}

}  // namespace qb::update
