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
        MsgItem& m = thread.messages[*copy];
        if (!message.bodyCutShort) m.bodyCutShort = 0;
        // A live row of the current copy is live whatever copy came first.
        if (!message.deleted) m.deleted = 0;
        MergeOrigins(m.foundIn, message.foundIn);
        return;
    }
    // A body cut short is the same message as one whose body begins with it.
    if (message.bodyCutShort || index.HoldsCutShort()) {
        if (message.bodyCutShort) {
            if (const auto whole = index.FindBodyBeginningWith(message)) {
                MergeOrigins(thread.messages[*whole].foundIn, message.foundIn);
                return;
            }
        }
        if (const auto cut = index.FindCutShortBeginningOf(message)) {
            MsgItem& m = thread.messages[*cut];
            index.Remove(*cut);
            m.body = std::move(message.body);
            m.bodyCutShort = message.bodyCutShort;
            MergeOrigins(m.foundIn, message.foundIn);
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
        message.foundIn.push_back(RecordOrigin::Live(deletedFlag ? CopyKind::Backup : CopyKind::Current));
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

const std::string* MessageCarver::LiveBodyOf(const MsgItem& m) const {
    const auto it = live_.find(Key(m.type, m.date, m.address));
    if (it == live_.end()) return nullptr;
    // The bodies that begin with m's follow it in order.
    const auto body = it->second.lower_bound(m.body);
    if (body == it->second.end()) return nullptr;
    if (*body == m.body || (m.bodyCutShort && body->compare(0, m.body.size(), m.body) == 0)) return &*body;
    return nullptr;
}

void MessageCarver::AddLiveRows(const std::vector<LiveSmsRow>& rows) {
    for (const LiveSmsRow& row : rows) {
        live_[Key(static_cast<std::int32_t>(row.type), row.date, row.address)].insert(row.body);
    }
}

void MessageCarver::SeeLiveSmsRow(const CarvedSmsRow& row) {
    MsgItem m = Carved(row.address, row.body, row.date, row.threadId, row.type);
    live_[Key(m.type, m.date, m.address)].insert(std::move(m.body));
}

void MessageCarver::AddCarvedSmsRow(const CarvedSmsRow& row) {
    MsgItem message = Carved(row.address, row.body, row.date, row.threadId, row.type);
    message.bodyCutShort = row.bodyCutShort ? 1 : 0;
    message.foundIn.push_back(RecordOrigin::Carved(copy_, row.from));
    // An old copy of a live message (or a slice of its body), wherever it
    // lay, is that message's, not a deleted one.
    if (const std::string* live = LiveBodyOf(message)) {
        auto [it, created] = stale_.try_emplace(StaleKey(message.type, message.date, message.address, *live));
        if (created) {
            it->second = std::move(message);
        } else {
            MergeOrigins(it->second.foundIn, message.foundIn);
            if (!message.bodyCutShort && it->second.bodyCutShort) {
                it->second.body = std::move(message.body);
                it->second.bodyCutShort = 0;
            }
        }
        return;
    }
    MsgThread& conversation = FindOrCreateThread(threads_, row.address, message.threadId, 1);
    AddMessage(conversation, std::move(message));
}

void MessageCarver::AttachOldCopies() {
    for (auto& [key, thread] : threads_) {
        for (MsgItem& m : thread.messages) {
            if (stale_.empty()) return;
            const bool live = std::any_of(m.foundIn.begin(), m.foundIn.end(), [](const RecordOrigin& o) { return o.live; });
            if (!live) continue;
            const auto it = stale_.find(StaleKey(m.type, m.date, m.address, m.body));
            if (it == stale_.end()) continue;
            MergeOrigins(m.foundIn, it->second.foundIn);
            stale_.erase(it);
        }
    }
    // Copies of rows that only the raw reading of the pages saw live (SQLite
    // did not return them) have no message to join; they stay as found.
    for (auto& [key, message] : stale_) {
        MsgThread& conversation = FindOrCreateThread(threads_, message.address, message.threadId, 1);
        AddMessage(conversation, std::move(message));
    }
    stale_.clear();
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
