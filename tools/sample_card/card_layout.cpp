#include "tools/sample_card/card_layout.h"

#include <algorithm>
#include <span>

#include "tools/sample_card/card_signatures.h"
#include "tools/sample_card/sha256.h"

namespace qb::tools {
namespace {

std::uint64_t AlignUp(std::uint64_t v, std::uint64_t unit) { return (v + unit - 1) / unit * unit; }

const char* RoleName(SampleRole role) {
    switch (role) {
    case SampleRole::Recorded: return "recorded";
    case SampleRole::Decoy: return "decoy";
    case SampleRole::Unaligned: return "unaligned";
    }
    return "";
}

}  // namespace

CardLayout::CardLayout(std::uint64_t seed) : random_(seed ^ 0x5EED'CA4Dull) {}

std::uint64_t CardLayout::RandomGap() {
    const std::uint64_t r = random_();
    if (r % 10 < 3) return 0;
    if (r % 10 == 9) return (16 + (r >> 8) % 49) * kCardBlockSize;
    return (1 + (r >> 8) % 7) * kCardBlockSize;
}

void CardLayout::FillTo(std::uint64_t offset) {
    if (offset <= image_.size()) return;
    const std::uint64_t begin = image_.size();
    const std::uint64_t style = random_() % 10;
    if (style < 4) {
        image_.resize(offset, 0x00);  // erased or never written
    } else if (style < 6) {
        image_.resize(offset, 0xFF);  // erased flash
    } else {
        // Left-over data: bytes with no structure.
        image_.resize(offset);
        std::uint8_t* out = image_.data() + begin;
        for (std::uint64_t i = 0; i < offset - begin; i += 8) {
            const std::uint64_t word = random_();
            for (std::uint64_t k = 0; k < 8 && i + k < offset - begin; ++k)
                out[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
        }
    }
    if (!filler_.empty() && filler_.back().second == begin)
        filler_.back().second = offset;
    else
        filler_.emplace_back(begin, offset);
}

bool CardLayout::InFiller(std::uint64_t offset) const {
    auto it = std::upper_bound(filler_.begin(), filler_.end(), offset,
                               [](std::uint64_t v, const auto& interval) { return v < interval.first; });
    if (it == filler_.begin()) return false;
    --it;
    return offset < it->second;
}

std::optional<std::string> CardLayout::UnplannedHeader(const CardSample& s, std::uint64_t start) const {
    const std::uint64_t header = start + s.headerAt;
    const std::uint64_t boundary = (header / kCardChunkSize + 1) * kCardChunkSize;
    const std::span<const std::uint8_t> bytes(s.bytes);
    for (std::uint64_t p = AlignUp(start, kCardBlockSize); p < start + s.bytes.size(); p += kCardBlockSize) {
        const std::uint64_t at = p - start;
        for (const std::string_view group : HeaderGroupsAt(bytes, at)) {
            if (p == header && s.role != SampleRole::Unaligned && group == s.group) continue;
            // The search of the sample's own type continues after the file.
            if (s.role == SampleRole::Recorded && group == s.group && s.group != "ole" && p > header &&
                p + 1 < start + s.recordedSize && p < boundary)
                continue;
            const std::uint64_t chunkEnd = (p / kCardChunkSize + 1) * kCardChunkSize;
            if (RejectedAtFirstCheck(group, bytes.subspan(0, std::min<std::uint64_t>(bytes.size(), chunkEnd - start)), at))
                continue;
            return "a " + std::string(group) + " header at its byte " + std::to_string(at);
        }
    }
    return std::nullopt;
}

bool CardLayout::PlaceAt(const CardSample& s, std::uint64_t start, std::string* why) {
    if (const auto unplanned = UnplannedHeader(s, start)) {
        if (why) *why = s.kind + ": " + *unplanned;
        return false;
    }
    FillTo(start);
    image_.insert(image_.end(), s.bytes.begin(), s.bytes.end());
    cursor_ = image_.size();

    Placed p;
    p.start = start;
    p.end = image_.size();
    p.header = start + s.headerAt;
    p.group = s.group;
    p.role = s.role;
    p.recordedEnd = start + s.recordedSize;
    p.crosses = s.role == SampleRole::Recorded && (p.recordedEnd - 1) / kCardChunkSize != p.header / kCardChunkSize;
    placed_.push_back(p);

    switch (s.role) {
    case SampleRole::Recorded: {
        TruthFile f;
        f.offset = start;
        f.size = s.recordedSize;
        f.group = s.group;
        f.name = CarvedFileName(start, s.suffix);
        f.kind = s.kind;
        f.sha256 = Sha256Hex(std::span(s.bytes).subspan(0, s.recordedSize));
        f.crossesChunk = p.crosses;
        truth_.files.push_back(std::move(f));
        break;
    }
    case SampleRole::Decoy: truth_.decoys.push_back({p.header, s.group, s.kind}); break;
    case SampleRole::Unaligned: truth_.unaligned.push_back({p.header, s.group, s.kind}); break;
    }

    // The atom walk of a QuickTime movie reads the type of whatever follows.
    if (s.group == "mov") {
        const std::uint64_t begin = image_.size();
        image_.resize(begin + 8, 0);
        filler_.emplace_back(begin, begin + 8);
        cursor_ = image_.size();
    }
    return true;
}

bool CardLayout::Place(const CardSample& s, std::string* why) {
    // The card's first sample lies at its first byte.
    const std::uint64_t gap = image_.empty() ? 0 : RandomGap();
    std::uint64_t header = AlignUp(cursor_ + s.headerAt, kCardBlockSize) + gap;
    const std::uint64_t boundary = (header / kCardChunkSize + 1) * kCardChunkSize;
    if (header - s.headerAt + s.bytes.size() + kChunkMargin > boundary) {
        header = boundary + (s.headerAt > 0 ? kCardBlockSize : 0);
        if (header - s.headerAt + s.bytes.size() + kChunkMargin > header / kCardChunkSize * kCardChunkSize + kCardChunkSize) {
            if (why) *why = s.kind + ": too long to lie within one chunk";
            return false;
        }
    }
    return PlaceAt(s, header - s.headerAt, why);
}

bool CardLayout::PlaceAcross(const CardSample& s, std::uint64_t lead, std::string* why) {
    if (s.role != SampleRole::Recorded || lead % kCardBlockSize != 0 || lead == 0 || lead >= s.recordedSize - s.headerAt) {
        if (why) *why = s.kind + ": cannot cross a chunk boundary with a lead of " + std::to_string(lead);
        return false;
    }
    const std::uint64_t earliest = AlignUp(cursor_ + s.headerAt, kCardBlockSize);
    const std::uint64_t boundary = AlignUp(earliest + lead, kCardChunkSize);
    return PlaceAt(s, boundary - lead - s.headerAt, why);
}

bool CardLayout::PlaceBehindUnreadable(const CardSample& s, std::string* why) {
    // Two blocks of filler at least before the header, then the sample as
    // Place puts it.
    const std::uint64_t before = cursor_;
    cursor_ = AlignUp(cursor_, kCardBlockSize) + 2 * kCardBlockSize;
    if (!Place(s, why)) {
        cursor_ = before;
        return false;
    }
    // The filler laid before the sample holds that sector.
    truth_.unreadableSectors.push_back(placed_.back().start - kCardBlockSize);
    return true;
}

bool CardLayout::PlaceUnaligned(const CardSample& s, std::uint64_t misalignment, std::string* why) {
    if (s.role != SampleRole::Unaligned || misalignment == 0 || misalignment >= kCardBlockSize) {
        if (why) *why = s.kind + ": not an unaligned sample";
        return false;
    }
    std::uint64_t block = AlignUp(cursor_ + s.headerAt, kCardBlockSize) + RandomGap();
    const std::uint64_t boundary = (block / kCardChunkSize + 1) * kCardChunkSize;
    if (block + misalignment + s.bytes.size() + kChunkMargin > boundary) block = boundary + kCardBlockSize;
    return PlaceAt(s, block + misalignment - s.headerAt, why);
}

std::optional<SampleCard> CardLayout::Finish(std::uint64_t seed, std::uint32_t scale, std::string* why) {
    FillTo(AlignUp(image_.size() + kChunkMargin, kCardBlockSize));

    // Every block boundary: a header there must be planned. One in filler
    // is broken by changing the filler byte under it.
    const std::span<const std::uint8_t> image(image_);
    std::size_t next = 0;  // first placed sample that may hold p
    for (std::uint64_t p = 0; p < image_.size(); p += kCardBlockSize) {
        const std::uint64_t chunkEnd = std::min<std::uint64_t>(image_.size(), (p / kCardChunkSize + 1) * kCardChunkSize);
        for (int attempt = 0;; ++attempt) {
            std::optional<std::string_view> unplanned;
            const Placed* owner = nullptr;
            for (const std::string_view group : HeaderGroupsAt(image, p)) {
                while (next < placed_.size() && placed_[next].end <= p) ++next;
                owner = next < placed_.size() && placed_[next].start <= p ? &placed_[next] : nullptr;
                bool planned = false;
                if (owner && owner->header == p && owner->role != SampleRole::Unaligned) planned = owner->group == group;
                if (owner && owner->role == SampleRole::Recorded && owner->group == group && owner->group != "ole" &&
                    p > owner->header && p + 1 < owner->recordedEnd &&
                    p < (owner->header / kCardChunkSize + 1) * kCardChunkSize)
                    planned = true;
                if (!planned && RejectedAtFirstCheck(group, image.subspan(0, chunkEnd), p)) planned = true;
                if (!planned) {
                    unplanned = group;
                    break;
                }
            }
            if (!unplanned) break;

            // A header in filler is broken by changing a filler byte under
            // one of its fixed (not wildcard) bytes.
            const CardSignature* signature = SignatureAt(*unplanned, image, p);
            std::uint64_t changed = 0;
            for (std::uint64_t i = p; signature && i < p + signature->header.size() && changed == 0; ++i) {
                if (signature->header[i - p] == '?') continue;
                if (InFiller(i)) {
                    image_[i] = static_cast<std::uint8_t>(image_[i] ^ 0xA5);
                    changed = 1;
                }
            }
            if (changed == 0 || attempt > 16) {
                if (why)
                    *why = "an unplanned " + std::string(*unplanned) + " header at byte " + std::to_string(p) +
                           (owner ? std::string(" inside a ") + RoleName(owner->role) + " sample" : std::string());
                return std::nullopt;
            }
        }
    }

    SampleCard card;
    truth_.source = "sample-card";
    truth_.seed = seed;
    truth_.scale = scale;
    truth_.imageSize = image_.size();
    truth_.blockSize = static_cast<std::uint32_t>(kCardBlockSize);
    truth_.chunkSize = kCardChunkSize;
    card.truth = std::move(truth_);
    card.image = std::move(image_);
    return card;
}

}  // namespace qb::tools
