// A plain top-level window that hosts controls under test the way the main
// window hosts them: the messages a child control sends its parent go back
// to the control (owner drawing, notifications), and the check
// notifications and native notifications are recorded. Real mouse input
// reaches the controls through the system's input queue, so hit-testing is
// the system's own.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/app/screen_capture.h"

namespace qb::ui::testsupport {

struct Notification {
    UINT message;  // the private message, or WM_NOTIFY with wParam = the code
    WPARAM wParam;
    LPARAM lParam;
};

class ControlHost {
public:
    // A topmost window of the client size at the screen's top left, shown
    // and in the foreground; its background is kBackground.
    ControlHost(int width, int height);
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    static constexpr COLORREF kBackground = RGB(90, 90, 90);

    HWND Hwnd() const { return hwnd_; }

    // Private messages the controls sent (list and tree checks) and the
    // codes of the native notifications, in order.
    const std::vector<Notification>& Notifications() const { return notifications_; }
    std::vector<Notification> NotificationsOf(UINT message) const;
    bool SawNotifyCode(UINT code) const;
    void ClearNotifications() { notifications_.clear(); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    std::vector<Notification> notifications_;
};

// Dispatches this thread's messages for the given time.
void Pump(std::chrono::milliseconds time = std::chrono::milliseconds(50));

// Real mouse input at a client point of the window: a left click there, or
// a press at one point and the release at another.
void ClickAt(HWND window, POINT client);
void PressAndReleaseAt(HWND window, POINT press, POINT release);
// Wheel turns at a client point (negative: towards the user).
void WheelAt(HWND window, POINT client, int notches);

// How many of the opaque pixels of frame `frame` of a strip of `frames`
// equal frames (a plain picture: frames 1, frame 0) appear unchanged on the
// shot with the frame's top left at (x, y); `total` receives how many were
// compared.
int FramePixelsMatching(const app::testsupport::ScreenPixels& shot, const std::wstring& picturePath, int frames,
                        int frame, int x, int y, int* total = nullptr);

// The window's client area as it is on the screen now (after painting
// everything pending), kept as a screenshot named after the running test
// and `name`.
app::testsupport::ScreenPixels CaptureClient(HWND window, const std::string& name = {});

}  // namespace qb::ui::testsupport
