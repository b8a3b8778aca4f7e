// Notifiers that deliver to a window of the Windows application: Post
// queues the message (PostMessageW), Send waits until the window's thread
// has handled it (SendMessageW). The window is named by its handle, kept
// here as an opaque pointer so that callers need no system header.
#pragma once

#include <memory>

#include "platform/notifier.h"

namespace qb::platform {

std::unique_ptr<Notifier> MakeWindowNotifier(void* windowHandle);

}  // namespace qb::platform
