#include "app/scan_control.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>
#include <utility>

#include "platform/text.h"
#include "src/cdr/cdr_interface.h"

namespace qb::app {
namespace {

std::string Today() { return platform::FormatLocalTime(platform::CurrentTimeSeconds(), "%Y-%m-%d"); }

}  // namespace

// The two workers and the engine's callback, with the context's internals.
struct ScanWorkers {
    static void Post(ScanContext& c, std::int32_t type, ScanNode* node, std::uintptr_t item, std::int32_t value) {
        if (!c.window_) return;
        // Allocation fails only when memory is exhausted; the event is then
        // lost rather than an exception thrown through the engine.
        ScanEvent* event = new (std::nothrow) ScanEvent {type, node, item, value, c.scanNumber_.load()};
        if (event == nullptr) return;
        c.window_->Post(WMU_SCAN_EVENT, reinterpret_cast<std::uintptr_t>(event), 0);
    }

    static void ListDisks(ScanContext& c) {
        std::unique_ptr<cdr::DeviceNode> tree;
        std::unique_ptr<ScanNode> mirror;
        try {
            if (c.engine_.EnumerateDevices) tree = c.engine_.EnumerateDevices();
            if (tree) mirror = MirrorDeviceTree(*tree, Today());
        } catch (const std::exception&) {
            // No list: the window still learns that the listing ended.
            mirror.reset();
        }
        {
            std::lock_guard hold(c.lock_);
            c.tree_ = std::move(tree);
            c.mirror_ = std::move(mirror);
        }
        if (c.window_) c.window_->Post(WMU_DISKS_READY, 0, 0);
    }

    // A paused scan thread waits here. It answers the pause before it
    // sleeps and the resume (or stop) once it wakes.
    static void WaitWhilePaused(ScanContext& c) {
        std::unique_lock hold(c.lock_);
        if (c.state_.load() != ScanPaused) return;
        c.answered_ = c.requests_;
        c.acknowledge_.notify_all();
        c.resume_.wait(hold, [&] { return c.state_.load() != ScanPaused; });
        c.answered_ = c.requests_;
        c.acknowledge_.notify_all();
    }

    static void AddFoundFile(ScanContext& c, const cdr::FileItem& item) {
        ScanNode* disk = c.currentNode_;
        if (disk == nullptr || item.group == nullptr) return;
        const auto known = disk->groups.find(item.group->name);
        if (known != disk->groups.end()) {
            MirrorFoundFile(*known->second, item, c.today_);
            return;
        }
        // The engine's group node under this disk, mirrored with its found
        // files (just the one reported: the engine announces each file as it
        // records it) and the disk's selected flag. The window hears of it
        // only once it is published with that first entry.
        ScanNode& group = MirrorNode(*disk, *item.group, c.today_);
        PublishChild(*disk, group);
        disk->groups.emplace(item.group->name, &group);
        Post(c, ScanNewGroupEvent, &group, c.currentItem_, 0);
    }

    static int OnScanCallback(std::uint64_t endOffset, std::uint64_t currentOffset, cdr::FileItem* item,
                              void* userData) {
        ScanContext& c = *static_cast<ScanContext*>(userData);
        if (c.state_.load() == ScanPaused) WaitWhilePaused(c);
        if (c.state_.load() == ScanStopping) return cdr::kStop;
        if (item != nullptr) {
            try {
                AddFoundFile(c, *item);
            } catch (const std::exception&) {
                // Out of memory: the file stays in the engine's tree only.
            }
        }
        if (endOffset != 0 && currentOffset != 0) {
            const double share = static_cast<double>(currentOffset) / static_cast<double>(endOffset) * 100.0;
            // The engine's last read may run past the end of a partition
            // that does not end the disk; the bar ends at 100.
            const auto percent = static_cast<std::int32_t>(std::min(share, 100.0));
            if (percent > c.progressMaximum_) {
                c.progressMaximum_ = percent;
                Post(c, ScanProgressEvent, nullptr, 0, percent);
            }
        }
        return 0;
    }

    static void RunScan(ScanContext& c) {
        for (const ScanDisk& disk : c.disks_) {
            if (c.state_.load() == ScanStopping) break;
            c.currentNode_ = disk.node;
            c.currentDevice_ = disk.deviceNode;
            c.currentItem_ = disk.item;
            c.progressMaximum_ = 0;
            c.today_ = Today();
            if (c.engine_.ScanPartition) c.engine_.ScanPartition(c.engine_, *disk.deviceNode, 0, &OnScanCallback, &c);
            Post(c, ScanDiskDoneEvent, nullptr, disk.item, 0);
        }
        Finish(c);
    }

    // The scan's last step; it also answers a request that came too late
    // for the engine's callbacks.
    static void Finish(ScanContext& c) {
        {
            std::lock_guard hold(c.lock_);
            c.state_.store(ScanFinished);
            c.answered_ = c.requests_;
            c.acknowledge_.notify_all();
        }
        Post(c, ScanAllDoneEvent, nullptr, 0, 0);
    }

    static void JoinWorkers(ScanContext& c) {
        if (c.diskList_.joinable()) c.diskList_.join();
        if (c.scan_.joinable()) c.scan_.join();
    }
};

std::unique_ptr<ScanEvent> TakeScanEvent(std::uintptr_t wParam) {
    return std::unique_ptr<ScanEvent>(reinterpret_cast<ScanEvent*>(wParam));
}

ScanContext::ScanContext(const cdr::CdrInterface& engine, std::shared_ptr<platform::Notifier> window)
    : engine_(engine), window_(std::move(window)) {}

ScanContext::~ScanContext() { ReleaseScan(*this); }

ScanNode* ScanContext::MirrorRoot() const {
    std::lock_guard hold(lock_);
    return mirror_.get();
}

bool StartDiskList(ScanContext& c) {
    if (c.listPending_ || c.diskList_.joinable() || c.scan_.joinable() || c.MirrorRoot() != nullptr) return false;
    c.listPending_ = true;
    try {
        c.diskList_ = std::thread(&ScanWorkers::ListDisks, std::ref(c));
    } catch (const std::system_error&) {
        c.listPending_ = false;
        return false;
    }
    return true;
}

int AddDisksAndScan(ScanContext& c, const InsertDiskItem& insertDiskItem) {
    // The disk-list thread posted its message as its last step; once it is
    // joined, the tree and the mirror are this thread's to read.
    if (c.diskList_.joinable()) c.diskList_.join();
    if (!c.listPending_ || c.scan_.joinable()) return 0;
    c.listPending_ = false;

    c.currentNode_ = nullptr;
    c.currentDevice_ = nullptr;
    c.currentItem_ = 0;
    c.progressMaximum_ = 0;
    c.disks_.clear();
    if (c.tree_ && c.mirror_) {
        // The mirror's children are the tree's children, in the same order.
        ScanNode* node = c.mirror_->firstChild.load(std::memory_order_acquire);
        for (const auto& device : c.tree_->children) {
            if (node == nullptr) break;
            if (node->removable != 0) {
                const std::uintptr_t item = insertDiskItem ? insertDiskItem(*node) : 0;
                c.disks_.push_back({device.get(), node, item});
            }
            node = node->next.load(std::memory_order_acquire);
        }
    }

    {
        std::lock_guard hold(c.lock_);
        // A stop that came while the disks were being listed ends this scan
        // before its first disk.
        if (c.state_.load() != ScanStopping) c.state_.store(ScanRunning);
        c.requests_ = 0;
        c.answered_ = 0;
    }
    try {
        c.scan_ = std::thread(&ScanWorkers::RunScan, std::ref(c));
    } catch (const std::system_error&) {
        ScanWorkers::Finish(c);
    }
    return static_cast<int>(c.disks_.size());
}

ScanState TogglePause(ScanContext& c) {
    std::unique_lock hold(c.lock_);
    const std::int32_t state = c.state_.load();
    if (state != ScanRunning && state != ScanPaused) return static_cast<ScanState>(state);
    c.state_.store(state == ScanPaused ? ScanRunning : ScanPaused);
    const std::uint64_t request = ++c.requests_;
    if (state == ScanPaused) c.resume_.notify_all();
    c.acknowledge_.wait(hold, [&] { return c.answered_ >= request || c.state_.load() == ScanFinished; });
    return static_cast<ScanState>(c.state_.load());
}

void StopScan(ScanContext& c) {
    std::unique_lock hold(c.lock_);
    const std::int32_t state = c.state_.load();
    if (state == ScanRunning || state == ScanPaused) {
        c.state_.store(ScanStopping);
        ++c.requests_;
        c.resume_.notify_all();
        c.acknowledge_.wait(hold, [&] { return c.state_.load() == ScanFinished; });
        return;
    }
    // No scan thread yet: the scan the pending list leads to ends at once.
    if (c.listPending_ && (state == ScanIdle || state == ScanFinished)) c.state_.store(ScanStopping);
}

void ReleaseScan(ScanContext& c) {
    StopScan(c);
    ScanWorkers::JoinWorkers(c);
    // Events still queued for the window name nodes freed below.
    c.scanNumber_.fetch_add(1);
    c.listPending_ = false;
    c.disks_.clear();
    c.currentNode_ = nullptr;
    c.currentDevice_ = nullptr;
    c.currentItem_ = 0;
    c.progressMaximum_ = 0;

    std::unique_ptr<ScanNode> mirror;
    std::unique_ptr<cdr::DeviceNode> tree;
    {
        std::lock_guard hold(c.lock_);
        mirror = std::move(c.mirror_);
        tree = std::move(c.tree_);
        // A stop asked for while the list was being made found no scan.
        if (c.state_.load() == ScanStopping) c.state_.store(ScanFinished);
    }
    mirror.reset();
    if (tree && c.engine_.FreeDeviceTree) c.engine_.FreeDeviceTree(std::move(tree));
    tree.reset();
    if (c.engine_.ShutdownEngine) c.engine_.ShutdownEngine();
}

bool IsCurrentScanEvent(const ScanContext& c, const ScanEvent& event) { return event.scan == c.scanNumber_.load(); }

}  // namespace qb::app
