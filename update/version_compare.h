// Whether an advertised version text names a newer release than the
// program's own (manual update check).
#pragma once

#include <string_view>

namespace qb::update {

// Both texts are split at "." (a trailing "." adds no empty part). A text
// that does not have exactly four parts, on either side, counts as newer,
// so an unexpected format still points the user at the download page.
// Otherwise the four numbers are compared in order, most significant
// first; each is read from its leading decimal digits (none: 0; too many:
// the largest 64-bit value).
bool IsNewerVersion(std::string_view advertised, std::string_view program);

}  // namespace qb::update
