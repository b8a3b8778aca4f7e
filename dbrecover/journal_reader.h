// Reads a rollback journal (-journal) as bytes, below SQLite.
//
// A journal is one or more segments, each a header padded to the sector
// size and then page records:
//
//   header   OFFSET  SIZE  DESCRIPTION
//              0      8   magic d9 d5 05 f9 20 a1 63 d7
//              8      4   number of records (may be 0 or -1: up to the end)
//             12      4   checksum nonce
//             16      4   database size in pages before the transaction
//             20      4   sector size
//             24      4   page size
//   record     0      4   page number
//              4      P   the page as it was before the transaction
//            4+P      4   checksum
//
// In journal mode PERSIST the header's first 28 bytes are zeroed at commit
// and the records stay; records of earlier, longer transactions lie behind
// those of later ones. Every record is taken, to the end of the file,
// whatever the header's count says: each holds a page as it was before a
// change.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qb::dbrecover {

struct JournalPage {
    std::uint32_t page = 0;
    std::uint64_t dataOffset = 0;  // of the page image in the journal
};

struct Journal {
    bool headerOk = false;          // a header with the magic at offset 0
    std::uint32_t pageSize = 0;
    std::uint32_t sectorSize = 0;
    std::vector<JournalPage> pages;
};

// pageSize is the database's, used when the header was zeroed; maxPage
// bounds the page numbers taken as records (0: no bound but 2^31).
Journal ReadJournal(std::string_view bytes, std::uint32_t pageSize, std::uint32_t maxPage);

}  // namespace qb::dbrecover
