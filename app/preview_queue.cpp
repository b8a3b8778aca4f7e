#include "app/preview_queue.h"

#include <exception>
#include <system_error>
#include <utility>

#include "output/recover_state.h"
#include "platform/file.h"
#include "src/cdr/cdr_interface.h"

namespace qb::app {
namespace {

// The stop flag of the queue whose worker runs on this thread, for the
// copy's cancel callback, which carries no context of its own.
thread_local const std::atomic<bool>* tQueueStopping = nullptr;

// A preview copy ends at its next piece when a recover job is being stopped
// (as the recover job's own copies do) or when its queue is going away.
int PreviewCancel(std::uint64_t size, std::uint64_t done, const cdr::FileItem* item) {
    if (output::RecoverCopyCancel(size, done, item) == cdr::kStop) return cdr::kStop;
    return tQueueStopping != nullptr && tQueueStopping->load() ? cdr::kStop : 0;
}

}  // namespace

std::string PreviewTargetPath(const std::string& pictureFolder, const ScanFileEntry& entry) {
    // Carved names are "<number>.<suffix>"; any separator is replaced all
    // the same, so that a name can never lead out of the cache.
    std::string name = entry.name;
    for (char& ch : name) {
        if (ch == '/' || ch == '\\' || ch == ':') ch = '_';
    }
    return platform::JoinPath(pictureFolder, std::to_string(entry.serial) + "-" + name);
}

PreviewQueue::PreviewQueue(const cdr::CdrInterface& engine) : engine_(engine) {
    try {
        worker_ = std::thread(&PreviewQueue::Work, this);
    } catch (const std::system_error&) {
        // Without a worker every preview ends at once with nothing copied.
    }
}

PreviewQueue::~PreviewQueue() {
    {
        std::lock_guard hold(lock_);
        stopping_.store(true);
        jobs_.clear();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void PreviewQueue::QueuePreview(const ScanFileEntry& entry, std::string targetPath,
                                std::shared_ptr<platform::Notifier> window) {
    PreviewJob job;
    if (const cdr::FileItem* found = entry.foundFile) {
        job.foundFile = *found;
        job.foundFile.group = nullptr;
        // The partition above the file's group reads it back. These links
        // and handles are set before the file is announced and never change
        // while the tree lives.
        if (found->group != nullptr && found->group->parent != nullptr) job.input = found->group->parent->copyHandle;
    }
    job.targetPath = std::move(targetPath);
    job.window = std::move(window);
    if (!worker_.joinable()) {
        if (job.window) job.window->Post(WMU_PREVIEW_READY, 0, 0);
        return;
    }
    {
        std::lock_guard hold(lock_);
        if (stopping_.load()) return;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void PreviewQueue::Work() {
    tQueueStopping = &stopping_;
    while (true) {
        PreviewJob job;
        {
            std::unique_lock hold(lock_);
            wake_.wait(hold, [&] { return stopping_.load() || !jobs_.empty(); });
            if (stopping_.load()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Run(job);
        if (job.window) job.window->Post(WMU_PREVIEW_READY, 0, 0);
    }
}

void PreviewQueue::Run(const PreviewJob& job) {
    if (job.targetPath.empty() || platform::FileExists(job.targetPath)) return;
    if (!job.input || !engine_.ExtractFile) return;
    cdr::CopyOutcome outcome = cdr::CopyOutcome::TargetFailed;
    try {
        outcome = engine_.ExtractFile(engine_, job.foundFile, job.targetPath, *job.input, &PreviewCancel);
    } catch (const std::exception&) {
        // Out of memory for the copy buffer: a failed copy like any other.
    }
    // A partial picture would be shown, and taken as cached by the next
    // click on the same file.
    if (outcome != cdr::CopyOutcome::Complete) platform::DeleteFileIfExists(job.targetPath);
}

}  // namespace qb::app
