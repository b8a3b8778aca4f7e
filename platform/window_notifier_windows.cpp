#include "platform/window_notifier.h"

#include <windows.h>

namespace qb::platform {
namespace {

class WindowNotifier final : public Notifier {
public:
    explicit WindowNotifier(HWND window) : window_(window) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        ::PostMessageW(window_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }
    void Send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        ::SendMessageW(window_, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    }

private:
    HWND window_;
};

}  // namespace

std::unique_ptr<Notifier> MakeWindowNotifier(void* windowHandle) {
    return std::make_unique<WindowNotifier>(static_cast<HWND>(windowHandle));
}

}  // namespace qb::platform
