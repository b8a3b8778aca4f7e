#include "dbrecover/message_assembly.h"

#include <algorithm>
#include <unordered_map>

#include "dbrecover/number_matching.h"
#include "platform/text.h"

namespace qb::dbrecover {

std::int64_t ClampDateSeconds(std::int64_t seconds) {
    constexpr std::int64_t kLatestSeconds = 32535194399;  // 3000-12-31 17:59:59 UTC
    return seconds < 0 || seconds > kLatestSeconds ? 0 : seconds;
}

std::string FormatMessageDate(std::uint64_t milliseconds) {
    const std::int64_t seconds = ClampDateSeconds(static_cast<std::int64_t>(milliseconds) / 1000);
    return platform::FormatLocalTime(seconds, "%Y-%m-%d %H:%M:%S");
}

MsgThread& FindOrCreateThread(ThreadMap& threads, std::string_view address, std::int64_t threadId,
                              std::uint8_t deletedFlag) {
    auto [it, created] = threads.try_emplace(ThreadKey(std::string(address), threadId));
    if (created) {
        it->second.deleted = deletedFlag;
        it->second.address.assign(address);
        it->second.threadId = threadId;
    }
    return it->second;
}

namespace {

bool BeginsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Date texts of one conversation share their first characters and differ in
// the last ones: comparing from the end settles most pairs at once.
bool SameFromEnd(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = a.size(); i > 0; --i) {
        if (a[i - 1] != b[i - 1]) return false;
    }
    return true;
}

}  // namespace

namespace {

std::uint64_t MessageKey(const MsgItem& m) {
    const std::hash<std::string> text;
    std::uint64_t h = text(m.dateText) * 0x9E3779B97F4A7C15ull;
    h ^= text(m.address) + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    h ^= static_cast<std::uint64_t>(m.type) * 0xBF58476D1CE4E5B9ull ^ static_cast<std::uint64_t>(m.threadId);
    return h;
}

}  // namespace

void AddMessage(MsgThread& thread, MsgItem message) {
    auto& index = thread.messageIndex;
    if (index.size() != thread.messages.size()) {
        index.clear();
        for (std::size_t i = 0; i < thread.messages.size(); ++i) index.emplace(MessageKey(thread.messages[i]), i);
    }
    const std::uint64_t key = MessageKey(message);
    const auto [from, to] = index.equal_range(key);
    for (auto it = from; it != to; ++it) {
        MsgItem& m = thread.messages[it->second];
        if (m.type != message.type || m.threadId != message.threadId || !SameFromEnd(m.dateText, message.dateText) ||
            m.address != message.address) {
            continue;
        }
        if (m.body == message.body) {
            if (!message.bodyCutShort) m.bodyCutShort = 0;
            return;
        }
        if (message.bodyCutShort && BeginsWith(m.body, message.body)) return;
        if (m.bodyCutShort && BeginsWith(message.body, m.body)) {
            m.body = std::move(message.body);
            m.bodyCutShort = message.bodyCutShort;
            return;
        }
    }
    index.emplace(key, thread.messages.size());
    thread.messages.push_back(std::move(message));
}

void AddLiveSmsRows(const std::vector<LiveSmsRow>& rows, std::uint8_t deletedFlag, ThreadMap& threads) {
    for (const LiveSmsRow& row : rows) {
        const std::int64_t threadId = static_cast<std::int32_t>(row.threadId);
        MsgThread& thread = FindOrCreateThread(threads, row.address, threadId, deletedFlag);
        MsgItem message;
        message.type = static_cast<std::int32_t>(row.type);
        message.threadId = threadId;
        message.deleted = deletedFlag;
        message.date = row.date;
        message.dateText = row.dateText;
        message.address = row.address;
        message.body = row.body;
        AddMessage(thread, std::move(message));
    }
}

MsgItem MessageCarver::Carved(std::string_view address, std::string_view body, std::uint64_t date,
                              std::uint64_t threadId, std::uint64_t type) const {
    MsgItem message;
    message.type = static_cast<std::int32_t>(static_cast<std::uint32_t>(type));
    message.threadId = static_cast<std::int64_t>(threadId);
    message.deleted = 1;
    message.date = static_cast<std::int64_t>(date);
    message.dateText = FormatMessageDate(date);
    message.address.assign(address);
    message.body.assign(body);
    return message;
}

void MessageCarver::AddDeletedSmsRow(std::string_view address, std::string_view body, std::uint64_t date,
                                     std::uint64_t threadId, std::uint64_t type) {
    MsgItem message = Carved(address, body, date, threadId, type);
    MsgThread& conversation = FindOrCreateThread(threads_, address, message.threadId, 1);
    AddMessage(conversation, std::move(message));
}

bool MessageCarver::IsLive(const MsgItem& m) const {
    const auto it = live_.find(Key(m.type, m.threadId, m.dateText, m.address));
    if (it == live_.end()) return false;
    for (const std::string& body : it->second) {
        if (body == m.body || (m.bodyCutShort && BeginsWith(body, m.body))) return true;
    }
    return false;
}

void MessageCarver::AddLiveRows(const std::vector<LiveSmsRow>& rows) {
    for (const LiveSmsRow& row : rows) {
        live_[Key(static_cast<std::int32_t>(row.type), static_cast<std::int32_t>(row.threadId), row.dateText,
                  row.address)]
            .push_back(row.body);
    }
}

void MessageCarver::SeeLiveSmsRow(const CarvedSmsRow& row) {
    MsgItem m = Carved(row.address, row.body, row.date, row.threadId, row.type);
    live_[Key(m.type, m.threadId, m.dateText, m.address)].push_back(std::move(m.body));
}

void MessageCarver::AddCarvedSmsRow(const CarvedSmsRow& row) {
    MsgItem message = Carved(row.address, row.body, row.date, row.threadId, row.type);
    message.bodyCutShort = row.bodyCutShort ? 1 : 0;
    // A slice of a live message's body is that message, wherever it lay.
    if ((row.from.source != RowSource::FreeSpace || message.bodyCutShort) && IsLive(message)) return;
    MsgThread& conversation = FindOrCreateThread(threads_, row.address, message.threadId, 1);
    AddMessage(conversation, std::move(message));
}

void ResolveNamesAndSort(const ContactMap& contacts, ThreadMap& threads) {
    std::unordered_map<std::string_view, const std::string*> nameOfNumber;
    // The numbers under their match key, in contact order, for the
    // conversations that no number names exactly.
    std::unordered_map<std::string, std::vector<std::pair<std::string_view, const std::string*>>> numbersOfKey;
    for (const auto& [key, contact] : contacts) {
        if (contact.name.empty()) continue;
        // The numbers as typed, then as the phone normalised them.
        for (const std::string* numbers : {&contact.phone, &contact.phoneNormalized}) {
            std::string_view rest = *numbers;
            while (!rest.empty()) {
                const std::size_t bar = rest.find('|');
                // An empty piece would name every conversation without address.
                if (const std::string_view piece = rest.substr(0, bar); !piece.empty()) {
                    nameOfNumber[piece] = &contact.name;
                    if (std::string match = NumberMatchKey(piece); !match.empty()) {
                        numbersOfKey[std::move(match)].emplace_back(piece, &contact.name);
                    }
                }
                if (bar == std::string_view::npos) break;
                rest.remove_prefix(bar + 1);
            }
        }
    }
    for (auto& [key, thread] : threads) {
        if (const auto it = nameOfNumber.find(thread.address); it != nameOfNumber.end()) {
            thread.name = *it->second;
        } else if (const auto numbers = numbersOfKey.find(NumberMatchKey(thread.address));
                   numbers != numbersOfKey.end()) {
            // As with exact numbers, a later contact wins.
            for (auto number = numbers->second.rbegin(); number != numbers->second.rend(); ++number) {
                if (SamePhoneNumber(number->first, thread.address)) {
                    thread.name = *number->second;
                    break;
                }
            }
        }
        std::stable_sort(thread.messages.begin(), thread.messages.end(),
                         [](const MsgItem& a, const MsgItem& b) { return a.dateText < b.dateText; });
        thread.messageIndex.clear();  // positions moved
    }
}

}  // namespace qb::dbrecover
