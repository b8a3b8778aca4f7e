#include "dbrecover/message_assembly.h"

#include <algorithm>
#include <unordered_map>

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
    for (const MsgItem& m : thread.messages) {
        if (m.type == message.type && m.threadId == message.threadId && m.dateText == message.dateText &&
            m.body == message.body && m.address == message.address) {
            return;
        }
    }
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
        message.date = 0;
        message.dateText = row.dateText;
        message.address = row.address;
        message.body = row.body;
        AddMessage(thread, std::move(message));
    }
}

void MessageCarver::AddDeletedSmsRow(std::string_view address, std::string_view body, std::uint64_t date,
                                     std::uint64_t threadId, std::uint64_t type) {
    const auto thread = static_cast<std::int64_t>(threadId);
    MsgThread& conversation = FindOrCreateThread(threads_, address, thread, 1);
    MsgItem message;
    message.type = static_cast<std::int32_t>(static_cast<std::uint32_t>(type));
    message.threadId = thread;
    message.deleted = 1;
    message.date = static_cast<std::int64_t>(date);
    message.dateText = FormatMessageDate(date);
    message.address.assign(address);
    message.body.assign(body);
    AddMessage(conversation, std::move(message));
}

void ResolveNamesAndSort(const ContactMap& contacts, ThreadMap& threads) {
    std::unordered_map<std::string_view, const std::string*> nameOfNumber;
    for (const auto& [key, contact] : contacts) {
        if (contact.name.empty() || contact.phone.empty()) continue;
        std::string_view rest = contact.phone;
        for (;;) {
            const std::size_t bar = rest.find('|');
            // An empty piece would name every conversation without address.
            if (const std::string_view piece = rest.substr(0, bar); !piece.empty()) {
                nameOfNumber[piece] = &contact.name;
            }
            if (bar == std::string_view::npos) break;
            rest.remove_prefix(bar + 1);
        }
    }
    for (auto& [key, thread] : threads) {
        if (const auto it = nameOfNumber.find(thread.address); it != nameOfNumber.end()) thread.name = *it->second;
        std::stable_sort(thread.messages.begin(), thread.messages.end(),
                         [](const MsgItem& a, const MsgItem& b) { return a.dateText < b.dateText; });
    }
}

}  // namespace qb::dbrecover
