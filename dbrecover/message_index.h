// Finds the copies of a message among the messages of one conversation by
// their content, so that adding a message to a conversation of any length
// costs a hash look-up rather than a pass over the conversation.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace qb::dbrecover {

struct MsgItem;

// Indexes the messages of one conversation by type, thread id, date text,
// address and body. A hash set finds an exact copy; from the first body cut
// short on, an ordered set finds the bodies that begin with one another.
// Positions refer to the vector it follows; it indexes that vector anew
// when the vector moved or changed size without it. A copy starts empty.
class MessageIndex {
public:
    MessageIndex();
    ~MessageIndex();
    MessageIndex(const MessageIndex&);
    MessageIndex& operator=(const MessageIndex&);
    MessageIndex(MessageIndex&&) noexcept;
    MessageIndex& operator=(MessageIndex&&) noexcept;

    // Forgets every position (the messages were reordered).
    void Clear();
    // Indexes messages unless it already indexes exactly them. The questions
    // and changes below are about the messages it last followed.
    void Follow(const std::vector<MsgItem>& messages);

    // The message with the same type, thread id, date text, address and body.
    std::optional<std::size_t> FindCopy(const MsgItem& m) const;
    // True once a message whose body was cut short has been indexed.
    bool HoldsCutShort() const;
    // A message of the same type, thread id, date text and address whose
    // body begins with m's body (or equals it).
    std::optional<std::size_t> FindBodyBeginningWith(const MsgItem& m);
    // The message of the same type, thread id, date text and address whose
    // body was cut short and is the beginning of m's body. While every
    // message came through AddMessage, there is at most one.
    std::optional<std::size_t> FindCutShortBeginningOf(const MsgItem& m);

    // messages[position] was appended, or its body has changed (call Remove
    // before the change and Add after it).
    void Add(std::size_t position);
    void Remove(std::size_t position);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qb::dbrecover
