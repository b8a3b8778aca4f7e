// Scan control: lists the disks on a worker thread and mirrors the device
// tree for the window, then scans the removable disks one after another on a
// second worker, turning the carving engine's per-file callbacks into mirror
// entries and WMU_SCAN_EVENT records. The window pauses, resumes and stops
// the scan through a lock-and-condition handshake that the scan thread
// answers at the engine's next callback.
//
// Every function here is called on the window's thread. Both workers are
// owned by the context and joined before anything they may touch is freed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/scan_model.h"
#include "platform/notifier.h"

namespace qb::cdr {
struct CdrInterface;
}  // namespace qb::cdr

namespace qb::app {

// Posted by the disk-list thread once the mirror of the device tree is
// stored in the context (also when no tree could be had). wParam, lParam 0.
constexpr std::uint32_t WMU_DISKS_READY = 1141;  // WM_USER + 117
// Posted by the scan thread. wParam: an owned ScanEvent (TakeScanEvent);
// lParam 0.
constexpr std::uint32_t WMU_SCAN_EVENT = 1143;  // WM_USER + 119

enum ScanState : std::int32_t {
    ScanIdle = 0,
    ScanRunning = 1,
    ScanPaused = 2,
    ScanStopping = 3,
    ScanFinished = 4,
};

enum ScanEventType : std::int32_t {
    ScanProgressEvent = 0,  // value: percentage of the current disk
    ScanNewGroupEvent = 1,  // node: the new group; item: its disk's tree item
    ScanDiskDoneEvent = 2,  // item: the disk's tree item
    ScanAllDoneEvent = 3,
};

struct ScanEvent {
    std::int32_t type = ScanProgressEvent;
    ScanNode* node = nullptr;
    std::uintptr_t item = 0;
    std::int32_t value = 0;
    // The scan it belongs to; see IsCurrentScanEvent.
    std::uint64_t scan = 0;
};

// Takes ownership of the record a WMU_SCAN_EVENT carries in wParam.
std::unique_ptr<ScanEvent> TakeScanEvent(std::uintptr_t wParam);

// One disk to scan.
struct ScanDisk {
    cdr::DeviceNode* deviceNode = nullptr;
    ScanNode* node = nullptr;
    std::uintptr_t item = 0;  // the window's tree item, opaque here
};

// Inserts the disk's tree item (under the root item, with the node's name
// and selected flag) and returns it as an opaque value.
using InsertDiskItem = std::function<std::uintptr_t(ScanNode& disk)>;

class ScanContext {
public:
    // engine is borrowed and must outlive the context; window receives
    // WMU_DISKS_READY and WMU_SCAN_EVENT.
    ScanContext(const cdr::CdrInterface& engine, std::shared_ptr<platform::Notifier> window);
    // Stops a running scan, waits for both workers and frees the device
    // tree and the mirror (ReleaseScan).
    ~ScanContext();
    ScanContext(const ScanContext&) = delete;
    ScanContext& operator=(const ScanContext&) = delete;

    ScanState State() const { return static_cast<ScanState>(state_.load()); }
    // The mirror of the device tree: null until WMU_DISKS_READY, when no
    // tree could be had, and after ReleaseScan. Nodes and entries stay valid
    // until ReleaseScan.
    ScanNode* MirrorRoot() const;
    // The disks AddDisksAndScan listed, in scan order; empty after
    // ReleaseScan.
    const std::vector<ScanDisk>& Disks() const { return disks_; }

private:
    friend bool StartDiskList(ScanContext& context);
    friend int AddDisksAndScan(ScanContext& context, const InsertDiskItem& insertDiskItem);
    friend ScanState TogglePause(ScanContext& context);
    friend void StopScan(ScanContext& context);
    friend void ReleaseScan(ScanContext& context);
    friend bool IsCurrentScanEvent(const ScanContext& context, const ScanEvent& event);
    friend struct ScanWorkers;

    const cdr::CdrInterface& engine_;
    std::shared_ptr<platform::Notifier> window_;

    // The handshake. state_ changes only under lock_ (the scan thread's
    // callback also reads it without the lock). A request of the window
    // (pause, resume, stop) takes the next request number; the scan thread
    // answers by copying it into answered_, so a waiter is released only by
    // an answer given after its own request.
    mutable std::mutex lock_;
    std::condition_variable resume_;
    std::condition_variable acknowledge_;
    std::atomic<std::int32_t> state_ {ScanIdle};
    std::uint64_t requests_ = 0;
    std::uint64_t answered_ = 0;

    // Handed over by the disk-list thread under lock_.
    std::unique_ptr<cdr::DeviceNode> tree_;
    std::unique_ptr<ScanNode> mirror_;

    // Window thread only: a disk list was started and its WMU_DISKS_READY
    // not yet handled.
    bool listPending_ = false;
    std::vector<ScanDisk> disks_;

    // The disk being scanned: the scan thread's own while it runs.
    ScanNode* currentNode_ = nullptr;
    cdr::DeviceNode* currentDevice_ = nullptr;
    std::uintptr_t currentItem_ = 0;
    std::int32_t progressMaximum_ = 0;
    std::string today_;

    // Numbers the scans; ReleaseScan moves to the next.
    std::atomic<std::uint64_t> scanNumber_ {1};

    std::thread diskList_;
    std::thread scan_;
};

// On WMU_LOAD_DONE: starts the disk-list thread. False when a list or scan
// is still held (ReleaseScan first) or no thread could be started.
bool StartDiskList(ScanContext& context);

// On WMU_DISKS_READY: calls insertDiskItem for every removable disk of the
// mirror, in order, and starts the scan thread (also when no disk was
// added). Returns the number of disks added; 0 also for a stale
// WMU_DISKS_READY (one whose list was released by Back), which starts
// nothing.
int AddDisksAndScan(ScanContext& context, const InsertDiskItem& insertDiskItem);

// Pause and Resume: pauses a running scan or resumes a paused one, waiting
// until the scan thread has answered. A scan that is not running or paused
// is left alone. Returns the state afterwards: ScanPaused means show Resume;
// anything else means show Pause.
ScanState TogglePause(ScanContext& context);

// Stop, Back and Close: stops a running or paused scan and returns once the
// scan thread has ended its loop (the state is then ScanFinished). Without a
// scan it returns at once; while the disk list is still being made, the
// scan it leads to ends before its first disk.
void StopScan(ScanContext& context);

// Back, after StopScan: waits for both workers, frees the mirror and the
// device tree (FreeDeviceTree), calls ShutdownEngine and forgets the disks.
// Every ScanNode, ScanFileEntry and tree item of the scan is invalid
// afterwards, including those in WMU_SCAN_EVENT records still queued.
void ReleaseScan(ScanContext& context);

// False for an event of a scan that ReleaseScan has released since it was
// posted: its node and item must not be used.
bool IsCurrentScanEvent(const ScanContext& context, const ScanEvent& event);

}  // namespace qb::app
