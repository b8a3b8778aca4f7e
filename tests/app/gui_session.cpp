#include "tests/app/gui_session.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/startup.h"
#include "ui/font_pool.h"
#include "ui/gdiplus_include.h"
#include "ui/skin_image.h"

namespace qb::app::testsupport {
namespace {

bool quitSeen = false;
int quitCode = 0;

CMessageLoop& Loop() {
    static CMessageLoop loop;
    return loop;
}

class GuiEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls {sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
        ::InitCommonControlsEx(&controls);
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
        ASSERT_TRUE(Module().Init(::GetModuleHandleW(nullptr)));
        ASSERT_TRUE(Module().AddMessageLoop(&Loop()));
        ui::SetImageFolder(ImageFolderBesideExecutable());
    }
    void TearDown() override {
        Module().RemoveMessageLoop();
        Module().Term();
        ui::TkFontPool::Instance().Destroy();
        Gdiplus::GdiplusShutdown(token_);
    }

private:
    ULONG_PTR token_ = 0;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace

CMessageLoop& TestLoop() { return Loop(); }

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message {};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitSeen = true;
                quitCode = static_cast<int>(message.wParam);
                continue;
            }
            if (!Loop().PreTranslateMessage(message)) {
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
        }
        if (condition && condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(std::chrono::milliseconds time) { PumpUntil(nullptr, time); }

bool QuitRequested(int* exitCode) {
    if (quitSeen && exitCode != nullptr) *exitCode = quitCode;
    return quitSeen;
}

void ClearQuitRequest() { quitSeen = false; }

}  // namespace qb::app::testsupport
