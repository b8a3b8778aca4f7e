// The sample card: a deterministic raw disk image holding samples of every
// carved type with their variants at known offsets, files that cross 4 MiB
// chunk boundaries, whole files whose header lies off a block boundary, a
// file behind a sector listed as unreadable, and decoys that each type's
// extractor must turn down, with the ground truth of what a quick scan
// records (card_truth.h). How the layout keeps the truth exact is told in
// card_layout.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/sample_card/card_layout.h"
#include "tools/sample_card/card_truth.h"

namespace qb::tools {

struct SampleCardOptions {
    std::uint64_t seed = 1;
    // The set of samples is laid down this many times, each time with other
    // content; one set takes about 40 MiB.
    std::uint32_t scale = 1;
    // Where the truth is written; empty: TruthPathFor(the image's path).
    std::string truthPath;
};

// The image and its truth, in memory. Nothing when no layout could be made
// (*error says why).
std::optional<SampleCard> BuildSampleCard(const SampleCardOptions& options, std::string* error = nullptr);

// Writes the image to imagePath and the truth beside it (or to
// options.truthPath) and returns the truth.
std::optional<CardTruth> GenerateSampleCard(const std::string& imagePath, const SampleCardOptions& options,
                                            std::string* error = nullptr);

}  // namespace qb::tools
