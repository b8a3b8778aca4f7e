#include "dbrecover/wal_reader.h"

#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kFrameHeaderSize = 24;

// SQLite's log checksum: pairs of 32-bit words, in the byte order the magic
// names, folded into two running sums. n is a multiple of 8.
void Checksum(const unsigned char* p, std::size_t n, bool bigEndian, std::uint32_t& s0, std::uint32_t& s1) {
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        std::uint32_t x0, x1;
        if (bigEndian) {
            x0 = Get32(p + i);
            x1 = Get32(p + i + 4);
        } else {
            x0 = std::uint32_t{p[i]} | std::uint32_t{p[i + 1]} << 8 | std::uint32_t{p[i + 2]} << 16 |
                 std::uint32_t{p[i + 3]} << 24;
            x1 = std::uint32_t{p[i + 4]} | std::uint32_t{p[i + 5]} << 8 | std::uint32_t{p[i + 6]} << 16 |
                 std::uint32_t{p[i + 7]} << 24;
        }
        s0 += x0 + s1;
        s1 += x1 + s0;
    }
}

}  // namespace

std::uint32_t WalPageSize(std::string_view bytes) {
    if (bytes.size() < kHeaderSize) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::uint32_t magic = Get32(p);
    if (magic != 0x377f0682 && magic != 0x377f0683) return 0;
    // A 32-bit field: 65536 is written as it is.
    const std::uint32_t field = Get32(p + 8);
    return field < 512 ? 0 : PageSizeFromField(field);
}

WalLog ReadWal(std::string_view bytes, std::uint32_t pageSize) {
    WalLog log;
    if (bytes.size() < kHeaderSize) return log;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::uint32_t magic = Get32(p);
    const bool knownMagic = magic == 0x377f0682 || magic == 0x377f0683;
    const bool bigEndian = magic == 0x377f0683;
    log.pageSize = WalPageSize(bytes);
    std::uint32_t s0 = 0, s1 = 0;
    if (knownMagic) Checksum(p, 24, bigEndian, s0, s1);
    log.headerOk = knownMagic && Get32(p + 4) == 3007000 && log.pageSize != 0 && s0 == Get32(p + 24) &&
                   s1 == Get32(p + 28);
    const std::uint32_t frameSize = log.pageSize ? log.pageSize : pageSize;
    if (frameSize == 0) return log;
    const std::uint32_t salt1 = Get32(p + 16), salt2 = Get32(p + 20);

    const std::size_t stride = kFrameHeaderSize + frameSize;
    const std::size_t count = (bytes.size() - kHeaderSize) / stride;
    log.frames.reserve(count);
    // Running checksum of the current life, and of the frame before.
    std::uint32_t c0 = log.headerOk ? Get32(p + 24) : 0, c1 = log.headerOk ? Get32(p + 28) : 0;
    bool prefix = log.headerOk;
    std::uint32_t lastCommitFrame = 0;
    bool anyCommit = false;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* f = p + kHeaderSize + i * stride;
        WalFrame frame;
        frame.index = static_cast<std::uint32_t>(i);
        frame.page = Get32(f);
        frame.commitSize = Get32(f + 4);
        frame.dataOffset = kHeaderSize + i * stride + kFrameHeaderSize;
        frame.saltsMatch = Get32(f + 8) == salt1 && Get32(f + 12) == salt2;
        std::uint32_t t0 = c0, t1 = c1;
        if (knownMagic) {
            Checksum(f, 8, bigEndian, t0, t1);
            Checksum(f + kFrameHeaderSize, frameSize, bigEndian, t0, t1);
        }
        frame.checksumOk = knownMagic && t0 == Get32(f + 16) && t1 == Get32(f + 20);
        if (prefix && !(frame.saltsMatch && frame.checksumOk && frame.page != 0)) prefix = false;
        if (prefix && frame.commitSize != 0) {
            lastCommitFrame = static_cast<std::uint32_t>(i);
            anyCommit = true;
        }
        frame.committed = prefix;  // narrowed to the last commit below
        // The next frame's checksum continues from this frame's stored one,
        // so a frame behind a damaged one can still be checked.
        c0 = Get32(f + 16);
        c1 = Get32(f + 20);
        log.frames.push_back(frame);
    }
    for (WalFrame& frame : log.frames) {
        frame.committed = frame.committed && anyCommit && frame.index <= lastCommitFrame;
        if (frame.committed) log.currentFrameOf[frame.page] = frame.index;
    }
    if (anyCommit) log.databasePages = log.frames[lastCommitFrame].commitSize;
    return log;
}

}  // namespace qb::dbrecover
