// Recovered SMS messages and the conversations that hold them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbrecover/message_index.h"
#include "dbrecover/record_origin.h"

namespace qb::dbrecover {

struct MsgItem {
    std::int32_t type = 0;      // the row's type column; 1 is a received message
    std::int64_t threadId = 0;
    std::uint8_t deleted = 0;   // carved, or read from the backup copy
    std::int64_t date = 0;      // milliseconds since 1970-01-01 UTC, as the row stores it
    std::string dateText;       // local time, "%Y-%m-%d %H:%M:%S"
    std::string address;
    std::string body;
    // 1 when the body is only the part of a longer text that still lay on
    // its page (its overflow pages were gone).
    std::uint8_t bodyCutShort = 0;
    // Where the message was found: the copy shown first, then every other
    // copy of it (an old copy of a live message left in free space, the
    // same deleted message in a log frame and a freeblock...).
    std::vector<RecordOrigin> foundIn;
};

struct MsgThread {
    std::vector<MsgItem> messages;
    std::uint8_t deleted = 0;   // set at creation: made by a carved or backup row
    std::uint8_t selected = 1;
    std::string name;           // the matching contact's name, or empty
    std::string address;        // as stored in the row
    std::int64_t threadId = 0;
    // Where AddMessage finds the copies of a message. Kept by AddMessage,
    // which builds it anew when messages changed without it; cleared when
    // the messages are reordered.
    MessageIndex messageIndex;
};

// (address, thread id): addresses compare byte by byte as unsigned bytes,
// then thread ids as signed numbers.
using ThreadKey = std::pair<std::string, std::int64_t>;
using ThreadMap = std::map<ThreadKey, MsgThread>;

}  // namespace qb::dbrecover
