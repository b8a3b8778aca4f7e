#include "dbrecover/message_index.h"

#include <functional>
#include <set>
#include <string_view>
#include <tuple>
#include <unordered_set>

#include "dbrecover/message_item.h"

namespace qb::dbrecover {
namespace {

bool SameKind(const MsgItem& a, const MsgItem& b) {
    return a.type == b.type && a.threadId == b.threadId && a.dateText == b.dateText && a.address == b.address;
}

bool BeginsWith(const std::string& text, const std::string& start) {
    return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace

struct MessageIndex::State {
    const std::vector<MsgItem>* messages = nullptr;
    bool cutShortSeen = false;
    bool ordering = false;  // ordered is kept from its first use on
    std::size_t followed = 0;  // the number of messages indexed

    const MsgItem& At(std::size_t i) const { return (*messages)[i]; }

    // The index holds positions; look-ups come with a message. Both resolve
    // to the message through its state.
    struct Resolver {
        using is_transparent = void;
        const State* state;
        const MsgItem& Of(std::size_t i) const { return state->At(i); }
        static const MsgItem& Of(const MsgItem& m) { return m; }
    };
    struct Hash : Resolver {
        std::size_t operator()(std::size_t i) const { return (*this)(Of(i)); }
        std::size_t operator()(const MsgItem& m) const {
            const std::hash<std::string_view> text;
            std::size_t h = text(m.body);
            for (const std::size_t part : {text(m.dateText), text(m.address), static_cast<std::size_t>(m.type),
                                           static_cast<std::size_t>(m.threadId)}) {
                h ^= part + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
            }
            return h;
        }
    };
    struct Equal : Resolver {
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            const MsgItem& x = Of(a);
            const MsgItem& y = Of(b);
            return SameKind(x, y) && x.body == y.body;
        }
    };
    // Kind first, then body, so that the bodies of one kind that begin with
    // a text follow that text directly.
    struct Less : Resolver {
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            const MsgItem& x = Of(a);
            const MsgItem& y = Of(b);
            return std::tie(x.type, x.threadId, x.dateText, x.address, x.body) <
                   std::tie(y.type, y.threadId, y.dateText, y.address, y.body);
        }
    };

    std::unordered_set<std::size_t, Hash, Equal> copies {0, Hash {{this}}, Equal {{this}}};
    std::set<std::size_t, Less> ordered {Less {{this}}};

    void Order() {
        if (ordering) return;
        ordering = true;
        for (const std::size_t i : copies) ordered.insert(i);
    }
};

MessageIndex::MessageIndex() = default;
MessageIndex::~MessageIndex() = default;
MessageIndex::MessageIndex(const MessageIndex&) {}
MessageIndex& MessageIndex::operator=(const MessageIndex& other) {
    if (this != &other) Clear();
    return *this;
}
MessageIndex::MessageIndex(MessageIndex&&) noexcept = default;
MessageIndex& MessageIndex::operator=(MessageIndex&&) noexcept = default;

void MessageIndex::Clear() { state_.reset(); }

void MessageIndex::Follow(const std::vector<MsgItem>& messages) {
    if (state_ && state_->messages == &messages && state_->followed == messages.size()) return;
    state_ = std::make_unique<State>();
    state_->messages = &messages;
    state_->copies.reserve(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) Add(i);
}

std::optional<std::size_t> MessageIndex::FindCopy(const MsgItem& m) const {
    const auto it = state_->copies.find(m);
    if (it == state_->copies.end()) return std::nullopt;
    return *it;
}

bool MessageIndex::HoldsCutShort() const { return state_->cutShortSeen; }

std::optional<std::size_t> MessageIndex::FindBodyBeginningWith(const MsgItem& m) {
    state_->Order();
    const auto it = state_->ordered.lower_bound(m);
    if (it == state_->ordered.end() || !SameKind(state_->At(*it), m) || !BeginsWith(state_->At(*it).body, m.body)) {
        return std::nullopt;
    }
    return *it;
}

std::optional<std::size_t> MessageIndex::FindCutShortBeginningOf(const MsgItem& m) {
    state_->Order();
    // A beginning of m's body sorts before it, and every body between the
    // two would begin with it as well; none does while each body cut short
    // is the beginning of no other body (AddMessage keeps it so).
    auto it = state_->ordered.lower_bound(m);
    if (it == state_->ordered.begin()) return std::nullopt;
    const MsgItem& before = state_->At(*--it);
    if (!before.bodyCutShort || !SameKind(before, m) || !BeginsWith(m.body, before.body)) return std::nullopt;
    return *it;
}

void MessageIndex::Add(std::size_t position) {
    state_->followed = state_->messages->size();
    // A position whose content is already indexed stays out: the first copy
    // is the one found.
    if (!state_->copies.insert(position).second) return;
    if (state_->At(position).bodyCutShort) state_->cutShortSeen = true;
    if (state_->ordering) state_->ordered.insert(position);
}

void MessageIndex::Remove(std::size_t position) {
    const auto it = state_->copies.find(position);
    if (it == state_->copies.end() || *it != position) return;
    state_->copies.erase(it);
    state_->ordered.erase(position);
}

}  // namespace qb::dbrecover
