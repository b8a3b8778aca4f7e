// Threads that nobody joins: a piece of work started on a thread of its own
// that ends by itself (the update checks).
//
// On Windows these are plain system threads rather than detached
// std::threads: the posix-thread runtime of the mingw-w64 toolchain races
// when a thread is detached while it starts, and the thread can vanish
// before it has run at all.
#pragma once

#include <memory>
#include <utility>

namespace qb::platform {

using ThreadEntry = void (*)(void* context);

// Runs entry(context) on a new thread nobody waits for. False when no
// thread could be started; entry is then never called.
bool StartDetachedEntry(ThreadEntry entry, void* context);

// Runs a moved-in callable on a new thread nobody waits for; the thread
// owns it and destroys it when the work is done. The work must not throw.
// False when no thread could be started (the work is then destroyed here).
template <typename Work>
bool StartDetachedThread(Work work) {
    auto owned = std::make_unique<Work>(std::move(work));
    const ThreadEntry entry = [](void* context) {
        const std::unique_ptr<Work> mine(static_cast<Work*>(context));
        (*mine)();
    };
    if (!StartDetachedEntry(entry, owned.get())) return false;
    owned.release();  // now the thread's
    return true;
}

}  // namespace qb::platform
