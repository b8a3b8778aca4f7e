// The picture preview queue: one worker copies found files into the picture
// cache, first come first served, so that the preview panel can show them,
// and tells the window after every job. Previews read through the disk's
// copy handle and so may run while a scan is going on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/scan_model.h"
#include "platform/notifier.h"
#include "src/cdr/device_tree.h"

namespace qb::cdr {
struct CdrInterface;
}  // namespace qb::cdr

namespace qb::app {

// Posted to the job's window after every job, whether or not a copy was
// made. wParam, lParam 0.
constexpr std::uint32_t WMU_PREVIEW_READY = 1140;  // WM_USER + 116

// What the worker needs of an entry, taken when the job is queued: the
// found file's record and its partition's copy handle are copied, so that a
// job still waiting when Back frees the device tree reads nothing freed.
struct PreviewJob {
    cdr::FileItem foundFile;  // its group link is cleared
    cdr::DiskHandle input;    // null: the file cannot be read (no copy handle)
    std::string targetPath;   // UTF-8
    std::shared_ptr<platform::Notifier> window;
};

// The cache file of an entry: the picture cache folder, the entry's serial
// number, "-" and its name (with any path separator replaced by "_").
std::string PreviewTargetPath(const std::string& pictureFolder, const ScanFileEntry& entry);

class PreviewQueue {
public:
    // engine is borrowed and must outlive the queue. Starts the worker.
    explicit PreviewQueue(const cdr::CdrInterface& engine);
    // Drops the jobs not started, stops the running copy at its next piece
    // and joins the worker.
    ~PreviewQueue();
    PreviewQueue(const PreviewQueue&) = delete;
    PreviewQueue& operator=(const PreviewQueue&) = delete;

    // Window thread (a click on a found file): appends a job and wakes the
    // worker. A target that exists already is not copied again; a copy that
    // fails leaves no file at the target.
    void QueuePreview(const ScanFileEntry& entry, std::string targetPath, std::shared_ptr<platform::Notifier> window);

private:
    void Work();
    void Run(const PreviewJob& job);

    const cdr::CdrInterface& engine_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<PreviewJob> jobs_;
    std::atomic<bool> stopping_ {false};
    std::thread worker_;
};

}  // namespace qb::app
