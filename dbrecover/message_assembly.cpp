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

void AddMessage(MsgThread& thread, MsgItem message) {
    MessageIndex& index = thread.messageIndex;
    index.Follow(thread.messages);
    if (const auto copy = index.FindCopy(message)) {
        if (!message.bodyCutShort) thread.messages[*copy].bodyCutShort = 0;
        return;
    }
    // A body cut short is the same message as one whose body begins with it.
    if (message.bodyCutShort || index.HoldsCutShort()) {
        if (message.bodyCutShort && index.HoldsBodyBeginningWith(message)) return;
        if (const auto cut = index.FindCutShortBeginningOf(message)) {
            MsgItem& m = thread.messages[*cut];
            index.Remove(*cut);
            m.body = std::move(message.body);
            m.bodyCutShort = message.bodyCutShort;
            index.Add(*cut);
            return;
        }
    }
    thread.messages.push_back(std::move(message));
    index.Add(thread.messages.size() - 1);
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
    // The bodies that begin with m's follow it in order.
    const auto body = it->second.lower_bound(m.body);
    if (body == it->second.end()) return false;
    return *body == m.body || (m.bodyCutShort && body->compare(0, m.body.size(), m.body) == 0);
}

void MessageCarver::AddLiveRows(const std::vector<LiveSmsRow>& rows) {
    for (const LiveSmsRow& row : rows) {
        live_[Key(static_cast<std::int32_t>(row.type), static_cast<std::int32_t>(row.threadId), row.dateText,
                  row.address)]
            .insert(row.body);
    }
}

void MessageCarver::SeeLiveSmsRow(const CarvedSmsRow& row) {
    MsgItem m = Carved(row.address, row.body, row.date, row.threadId, row.type);
    live_[Key(m.type, m.threadId, m.dateText, m.address)].insert(std::move(m.body));
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
        thread.messageIndex.Clear();  // positions moved
    }
}

}  // namespace qb::dbrecover
