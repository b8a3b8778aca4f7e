// How workers report to whoever started them. On Windows a notifier posts
// window messages to a window; the command line and the tests receive the
// same (message, wParam, lParam) triples through a callback.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace qb::platform {

class Notifier {
public:
    virtual ~Notifier() = default;
    // Queues the message for the receiver and returns without waiting.
    virtual void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Delivers the message and returns once the receiver has handled it.
    // Receivers that handle messages at once need nothing else.
    virtual void Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        Post(message, wParam, lParam);
    }
};

class CallbackNotifier final : public Notifier {
public:
    using Callback = std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>;
    explicit CallbackNotifier(Callback callback) : callback_(std::move(callback)) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (callback_) callback_(message, wParam, lParam);
    }

private:
    Callback callback_;
};

}  // namespace qb::platform
