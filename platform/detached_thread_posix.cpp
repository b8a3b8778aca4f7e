#include <system_error>
#include <thread>

#include "platform/detached_thread.h"

namespace qb::platform {

bool StartDetachedEntry(ThreadEntry entry, void* context) {
    try {
        std::thread(entry, context).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace qb::platform
