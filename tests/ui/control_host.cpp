#include "tests/ui/control_host.h"

#include <gtest/gtest.h>

#include "tests/app/gui_session.h"
#include "ui/dialog_base.h"
#include "ui/gdiplus_include.h"

namespace qb::ui::testsupport {
namespace {

constexpr wchar_t kClassName[] = L"QbControlHost";
constexpr UINT kListItemChecked = WM_USER + 100;
constexpr UINT kTreeItemChecked = WM_USER + 106;

void RegisterHostClass() {
    static const bool registered = [] {
        WNDCLASSEXW info {sizeof info};
        info.lpfnWndProc = DefWindowProcW;
        info.hInstance = ::GetModuleHandleW(nullptr);
        info.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        info.lpszClassName = kClassName;
        return ::RegisterClassExW(&info) != 0;
    }();
    (void)registered;
}

void SendMouse(DWORD flags, int wheel = 0) {
    INPUT input {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.mouseData = static_cast<DWORD>(wheel);
    ::SendInput(1, &input, sizeof input);
}

void MoveTo(HWND window, POINT client) {
    ::ClientToScreen(window, &client);
    ::SetCursorPos(client.x, client.y);
    Pump(std::chrono::milliseconds(30));
}

}  // namespace

ControlHost::ControlHost(int width, int height) {
    RegisterHostClass();
    RECT frame {0, 0, width, height};
    ::AdjustWindowRectEx(&frame, WS_POPUP, FALSE, WS_EX_TOPMOST);
    hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST, kClassName, L"control host", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    if (hwnd_ == nullptr) return;
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::UpdateWindow(hwnd_);
}

ControlHost::~ControlHost() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    Pump(std::chrono::milliseconds(10));
}

std::vector<Notification> ControlHost::NotificationsOf(UINT message) const {
    std::vector<Notification> found;
    for (const Notification& n : notifications_) {
        if (n.message == message) found.push_back(n);
    }
    return found;
}

bool ControlHost::SawNotifyCode(UINT code) const {
    for (const Notification& n : notifications_) {
        if (n.message == WM_NOTIFY && n.wParam == code) return true;
    }
    return false;
}

LRESULT CALLBACK ControlHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ControlHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        if (message == kListItemChecked || message == kTreeItemChecked) {
            self->notifications_.push_back({message, wParam, lParam});
            return 0;
        }
        if (message == WM_NOTIFY && lParam != 0) {
            self->notifications_.push_back(
                {WM_NOTIFY, static_cast<WPARAM>(reinterpret_cast<const NMHDR*>(lParam)->code), 0});
        }
    }
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client {};
        ::GetClientRect(window, &client);
        HBRUSH brush = ::CreateSolidBrush(kBackground);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        ::DeleteObject(brush);
        return TRUE;
    }
    default:
        if (IsControlMessage(message)) {
            LRESULT result = 0;
            if (ReflectToControl(window, message, wParam, lParam, result)) return result;
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void Pump(std::chrono::milliseconds time) { app::testsupport::PumpFor(time); }

void ClickAt(HWND window, POINT client) { PressAndReleaseAt(window, client, client); }

void PressAndReleaseAt(HWND window, POINT press, POINT release) {
    MoveTo(window, press);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    Pump(std::chrono::milliseconds(30));
    MoveTo(window, release);
    SendMouse(MOUSEEVENTF_LEFTUP);
    // Past the double-click time, so that two clicks in a row stay two clicks.
    Pump(std::chrono::milliseconds(::GetDoubleClickTime() + 50));
}

void WheelAt(HWND window, POINT client, int notches) {
    MoveTo(window, client);
    SendMouse(MOUSEEVENTF_WHEEL, notches * WHEEL_DELTA);
    Pump(std::chrono::milliseconds(50));
}

int FramePixelsMatching(const app::testsupport::ScreenPixels& shot, const std::wstring& picturePath, int frames,
                        int frame, int x, int y, int* total) {
    Gdiplus::Bitmap strip(picturePath.c_str());
    int compared = 0;
    int matching = 0;
    if (strip.GetLastStatus() == Gdiplus::Ok && frames > 0) {
        const int width = static_cast<int>(strip.GetWidth()) / frames;
        const int height = static_cast<int>(strip.GetHeight());
        for (int py = 0; py < height; ++py) {
            for (int px = 0; px < width; ++px) {
                Gdiplus::Color colour;
                if (strip.GetPixel(frame * width + px, py, &colour) != Gdiplus::Ok || colour.GetA() != 255) continue;
                ++compared;
                const COLORREF expected = RGB(colour.GetR(), colour.GetG(), colour.GetB());
                matching += app::testsupport::Near(shot.At(x + px, y + py), expected, 12) ? 1 : 0;
            }
        }
    }
    if (total != nullptr) *total = compared;
    return matching;
}

app::testsupport::ScreenPixels CaptureClient(HWND window, const std::string& name) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(std::chrono::milliseconds(60));
    RECT client {};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    app::testsupport::ScreenPixels shot = app::testsupport::CaptureScreen(client);
    if (!name.empty()) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        shot.Save(std::string(test->test_suite_name()) + "." + test->name() + "." + name);
    }
    return shot;
}

}  // namespace qb::ui::testsupport
