// Reads a write-ahead log (-wal) as bytes, below SQLite.
//
// Log header (32 bytes, big-endian):
//
//   OFFSET  SIZE  DESCRIPTION
//      0      4   magic: 0x377f0682 (checksums of little-endian words) or
//                 0x377f0683 (big-endian words)
//      4      4   format version, 3007000
//      8      4   page size (1 means 65536)
//     12      4   checkpoint sequence
//     16      8   salt-1, salt-2
//     24      8   checksum of bytes 0 to 23
//
// Then frames of 24 + pageSize bytes: page number (4), database size in
// pages after a commit (4; 0 on frames that are not commits), salt-1 and
// salt-2 (8, equal to the header's in frames of the log's current life),
// cumulative checksum (8) over the frame header's first 8 bytes and the
// page, continued from the previous frame (from the header for the first).
//
// Frames valid in the current life form a prefix; the database as SQLite
// sees it is the main file with the last frame of each page up to the last
// commit of that prefix. After a checkpoint the next writer starts the log
// again from its first frame with new salts, so frames of earlier lives lie
// behind it: they are stale, and so is every frame whose checksum fails.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace qb::dbrecover {

struct WalFrame {
    std::uint32_t index = 0;       // 0-based position in the file
    std::uint32_t page = 0;
    std::uint32_t commitSize = 0;  // database size after the commit, 0 when not a commit
    std::uint64_t dataOffset = 0;  // of the page image in the log
    bool saltsMatch = false;       // written in the log's current life
    bool checksumOk = false;       // its checksum continues the frame before it (or the header)
    bool committed = false;        // part of the database SQLite sees (valid prefix up to its last commit)
};

struct WalLog {
    bool headerOk = false;         // magic, version and header checksum
    std::uint32_t pageSize = 0;    // 0 when the header gives none
    std::vector<WalFrame> frames;  // every whole frame in the file
    // The frame SQLite reads for each page (the last committed one), and the
    // database size the last commit gives (0 without a commit).
    std::map<std::uint32_t, std::uint32_t> currentFrameOf;
    std::uint32_t databasePages = 0;
};

// Parses the log. pageSize is the database's; frames are cut with the
// log's own page size when its header gives one, else with this one. Reads
// at most the bytes given; never more frames than they hold.
WalLog ReadWal(std::string_view bytes, std::uint32_t pageSize);

// The page size a log header gives (0 when it has no valid magic or size).
std::uint32_t WalPageSize(std::string_view bytes);

}  // namespace qb::dbrecover
