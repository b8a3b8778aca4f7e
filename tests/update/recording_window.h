// A window stand-in for the update checks: records every notification with
// how it came (posted or sent), reclaims the version text a result carries,
// and lets a test wait for the first one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/notifier.h"
#include "update/update_check.h"

namespace qb::update::testsupport {

enum class Delivery { Posted, Sent };

struct Notification {
    Delivery delivery;
    std::uint32_t message;
    std::uintptr_t wParam;
    bool lParamZero;
    std::string version;  // reclaimed from lParam for wParam 1
};

class RecordingWindow final : public platform::Notifier {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        Record(Delivery::Posted, message, wParam, lParam);
    }
    void Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        Record(Delivery::Sent, message, wParam, lParam);
    }

    // The first notification, once it has come within the time limit.
    std::optional<Notification> WaitFirst(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, limit, [this] { return !received_.empty(); })) return std::nullopt;
        return received_.front();
    }

    std::vector<Notification> All() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void Record(Delivery delivery, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        Notification n {delivery, message, wParam, lParam == 0, {}};
        if (message == WMU_UPDATE_RESULT && wParam == 1) n.version = TakeUpdateVersion(lParam);
        {
            std::lock_guard lock(mutex_);
            received_.push_back(std::move(n));
        }
        arrived_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Notification> received_;
};

// What a detached check owns: forwards to a RecordingWindow and signals
// when the check is done with it.
class ForwardingWindow final : public platform::Notifier {
public:
    ForwardingWindow(RecordingWindow& target, std::promise<void> released)
        : target_(target), released_(std::move(released)) {}
    ~ForwardingWindow() override { released_.set_value(); }
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        target_.Post(message, wParam, lParam);
    }
    void Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        target_.Send(message, wParam, lParam);
    }

private:
    RecordingWindow& target_;
    std::promise<void> released_;
};

}  // namespace qb::update::testsupport
