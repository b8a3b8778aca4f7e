// The process-wide set-up the windows need in a test program (GDI+, the
// common controls, the module, the image folder of the staged build), and
// the message pump the tests drive the windows with.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

#include "app/app_module.h"

namespace qb::app::testsupport {

// Dispatches this thread's messages through the registered loop's filters
// until the condition holds or the time is up; true when it holds. A quit
// request is recorded, not obeyed.
bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);
// Dispatches for the given time.
void PumpFor(std::chrono::milliseconds time);

// The exit code of the last quit request the pump saw, if any.
bool QuitRequested(int* exitCode = nullptr);
void ClearQuitRequest();

// The message loop of the test thread, registered with the module.
CMessageLoop& TestLoop();

}  // namespace qb::app::testsupport
