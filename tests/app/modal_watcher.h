// Answers a modal dialog from another thread while the test thread runs
// the dialog's loop: waits for a visible dialog window of this process
// that has the control named (the message box's text, the about box's
// link), lets it paint, then hands it to an action.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <thread>

namespace qb::app::testsupport {

class ModalWatcher {
public:
    // The action runs on the watcher's thread with the dialog's handle.
    ModalWatcher(int controlId, std::function<void(HWND dialog)> action,
                 std::chrono::milliseconds limit = std::chrono::seconds(20),
                 std::chrono::milliseconds settle = std::chrono::milliseconds(300));
    ~ModalWatcher();
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    // Whether a dialog was found and handed to the action (after the
    // watcher's thread has ended).
    bool Found();

private:
    std::thread thread_;
    bool found_ = false;
};

// Clicks a dialog's button the way the button does for a mouse click.
void ClickButton(HWND dialog, int id);
// The dialog's place on the screen.
RECT ScreenRect(HWND window);
// A control's place in its parent's client area.
RECT PlaceInParent(HWND control);

}  // namespace qb::app::testsupport
