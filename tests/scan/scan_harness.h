// What the scan tests stand on: a window whose messages the test's thread
// handles in order, as its message loop would, and a storage table whose
// scan follows a script and can be held before chosen callbacks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/scan_control.h"
#include "src/cdr/cdr_interface.h"

namespace qb::app::testing {

// Bounds every wait, so that a hang fails the test instead of the suite.
inline constexpr std::chrono::seconds kHangLimit {120};

class FakeWindow {
public:
    ~FakeWindow() {
        for (const auto& [message, wParam] : queue_->messages)
            if (message == WMU_SCAN_EVENT) TakeScanEvent(wParam);
    }
    std::shared_ptr<platform::Notifier> Notifier() const {
        return std::make_shared<platform::CallbackNotifier>(
            [q = queue_](std::uint32_t m, std::uintptr_t w, std::intptr_t) {
                std::lock_guard hold(q->lock);
                q->messages.emplace_back(m, w);
                q->arrived.notify_all();
            });
    }
    // Handles messages up to `until` (for WMU_SCAN_EVENT: up to the all-done
    // event) and returns the context's scan events, each seen by onEvent
    // first; events of a released scan are only counted in `stale`.
    std::vector<ScanEvent> Until(std::uint32_t until, const ScanContext* context,
                                 const std::function<void(const ScanEvent&)>& onEvent = nullptr) {
        std::vector<ScanEvent> events;
        while (true) {
            std::unique_lock hold(queue_->lock);
            if (!queue_->arrived.wait_for(hold, kHangLimit, [&] { return !queue_->messages.empty(); })) {
                ADD_FAILURE() << "no message came";
                return events;
            }
            const auto [message, wParam] = queue_->messages.front();
            queue_->messages.pop_front();
            hold.unlock();
            if (message != WMU_SCAN_EVENT) {
                if (message == until) return events;
                continue;
            }
            const std::unique_ptr<ScanEvent> event = TakeScanEvent(wParam);
            if (context == nullptr || !IsCurrentScanEvent(*context, *event)) {
                ++stale;
                continue;
            }
            if (onEvent) onEvent(*event);
            events.push_back(*event);
            if (until == WMU_SCAN_EVENT && event->type == ScanAllDoneEvent) return events;
        }
    }
    int stale = 0;

private:
    struct Queue {
        std::mutex lock;
        std::condition_variable arrived;
        std::deque<std::pair<std::uint32_t, std::uintptr_t>> messages;
    };
    std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
};

// One callback of a scripted scan: progress at position (no group) or a
// file of the group recorded at position; held at the gate first if gated.
struct Step {
    std::uint64_t position = 0;
    std::string group;
    bool gated = false;
};
struct FakeDisk {
    std::string name;
    bool removable = true;
    std::vector<Step> steps;
};

// Storage over scripted disks of 1000 bytes. Like the storage module, a
// scan makes its group nodes under the scanned node first, records each
// file before announcing it, reads nothing without a scan handle and stops
// only on kStop from a call without a file.
class FakeStorage {
public:
    explicit FakeStorage(std::vector<FakeDisk> disks, bool listable = true) : disks_(std::move(disks)) {
        current_ = this;
        table_.EnumerateDevices = listable ? &Enumerate : +[] { return std::unique_ptr<cdr::DeviceNode>(); };
        table_.FreeDeviceTree = &cdr::FreeDeviceTree;
        table_.ScanPartition = &Scan;
        table_.ShutdownEngine = [] { ++current_->shutdowns; };
    }
    const cdr::CdrInterface& Table() const { return table_; }

    // A gated step holds the scan until the test has seen it arrive
    // (WaitArrived) and released it.
    void WaitArrived(int count) {
        std::unique_lock hold(lock_);
        ASSERT_TRUE(changed_.wait_for(hold, kHangLimit, [&] { return arrived_ >= count; }));
    }
    void Release() {
        std::lock_guard hold(lock_);
        ++released_;
        changed_.notify_all();
    }
    int shutdowns = 0;

private:
    static std::unique_ptr<cdr::DeviceNode> Enumerate() {
        auto root = std::make_unique<cdr::DeviceNode>();
        for (const FakeDisk& d : current_->disks_) {
            cdr::DeviceNode* disk = cdr::AppendChild(*root);
            disk->name = d.name;
            disk->removable = d.removable ? 1 : 0;
            disk->size = 1000;
            disk->scanHandle = std::make_shared<platform::MemorySource>(current_->bytes_);
        }
        return root;
    }
    static int Scan(const cdr::CdrInterface&, cdr::DeviceNode& node, int typeMask, cdr::ScanCallback callback,
                    void* userData) {
        FakeStorage& self = *current_;
        const FakeDisk* disk = nullptr;
        for (const FakeDisk& d : self.disks_) disk = d.name == node.name ? &d : disk;
        if (typeMask != 0 || !node.scanHandle || !disk) return 0;
        std::map<std::string, cdr::DeviceNode*> groups;
        for (const Step& s : disk->steps) {
            if (!s.group.empty() && !groups[s.group]) (groups[s.group] = cdr::AppendChild(node))->name = s.group;
        }
        std::unique_lock hold(self.lock_);
        for (const Step& s : disk->steps) {
            if (s.gated) {
                const int mine = ++self.arrived_;
                self.changed_.notify_all();
                self.changed_.wait_for(hold, kHangLimit, [&] { return self.released_ >= mine; });
            }
            hold.unlock();
            cdr::FileItem* item = nullptr;
            if (!s.group.empty()) {
                item = groups[s.group]->files.emplace_back(std::make_unique<cdr::FileItem>()).get();
                *item = {groups[s.group], std::to_string(s.position) + "." + s.group, 10, s.position, 512};
            }
            if (callback(node.size, s.position, item, userData) == cdr::kStop && !item) return 0;
            hold.lock();
        }
        return 0;
    }

    static inline FakeStorage* current_ = nullptr;
    std::vector<FakeDisk> disks_;
    std::string bytes_ = std::string(1000, 'x');
    cdr::CdrInterface table_;
    std::mutex lock_;
    std::condition_variable changed_;
    int arrived_ = 0;
    int released_ = 0;
};

// Lists the disks and starts the scan as the window does; the tree items
// are 0x100, 0x101, ... in the order the disks are inserted.
inline int ListAndScan(ScanContext& context, FakeWindow& window) {
    EXPECT_TRUE(StartDiskList(context));
    window.Until(WMU_DISKS_READY, &context);
    std::uintptr_t next = 0x100;
    return AddDisksAndScan(context, [&](ScanNode&) { return next++; });
}

// A window and a scan context over scripted storage.
struct ScanRig {
    explicit ScanRig(std::vector<FakeDisk> disks, bool listable = true) : storage(std::move(disks), listable) {}
    FakeStorage storage;
    FakeWindow window;
    ScanContext context {storage.Table(), window.Notifier()};
};

}  // namespace qb::app::testing
