// VelmoraQuillbrook.exe as a user starts and ends it: the window comes up
// for a phone that is not there, real clicks and keys reach it, and the
// process ends with 1000 after the title-bar close button and with 0 after
// Menu > Exit or the system's close request, leaving the working folders
// but not the picture cache.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "app/resource_ids.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/windows_support.h"
#include "tests/app/modal_watcher.h"
#include "tests/app/screen_capture.h"
#include "tests/device/fake_phone.h"
#include "tests/support/temp_folder.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<Found*>(data);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    if (process != found->process || !::IsWindowVisible(window) || std::wstring(title) != L"Velmora Quillbrook") {
        return TRUE;
    }
    found->window = window;
    return FALSE;
}

BOOL CALLBACK FindPopupMenu(HWND window, LPARAM data) {
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (std::wstring(className) != L"#32768" || !::IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

void Click(POINT at) {
    ::SetCursorPos(at.x, at.y);
    std::this_thread::sleep_for(100ms);
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &press[0], sizeof(INPUT));
    std::this_thread::sleep_for(80ms);
    ::SendInput(1, &press[1], sizeof(INPUT));
}

void PressKey(WORD key) {
    INPUT stroke[2] = {};
    stroke[0].type = stroke[1].type = INPUT_KEYBOARD;
    stroke[0].ki.wVk = stroke[1].ki.wVk = key;
    stroke[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, stroke, sizeof(INPUT));
    std::this_thread::sleep_for(80ms);
}

POINT CentreOf(HWND control) {
    const RECT r = ScreenRect(control);
    return POINT {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class Application : public ::testing::Test {
protected:
    void SetUp() override {
        phone_.SetState("none");
        oldTemp_ = platform::GetEnvironmentValue("TMP");
        platform::SetEnvironmentValue("TMP", temp_.path());
    }
    void TearDown() override {
        if (process_.hProcess != nullptr) {
            if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 99);
            ::CloseHandle(process_.hProcess);
            ::CloseHandle(process_.hThread);
        }
        if (oldTemp_) platform::SetEnvironmentValue("TMP", *oldTemp_);
        else platform::UnsetEnvironmentValue("TMP");
    }

    // Starts the staged program and waits for its start screen to answer
    // (no device: Refresh enabled).
    HWND Start() {
        std::wstring path = platform::win::Wide(platform::JoinPath(platform::ExecutableFolder(), "VelmoraQuillbrook.exe"));
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_)) {
            return nullptr;
        }
        Found found {process_.dwProcessId, nullptr};
        WaitFor([&] {
            found.window = nullptr;
            ::EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
            return found.window != nullptr;
        }, 20s);
        if (found.window == nullptr) return nullptr;
        WaitFor([&] { return ::IsWindowEnabled(::GetDlgItem(found.window, IDC_REFRESH)) != FALSE; }, 20s);
        ::SetForegroundWindow(found.window);
        std::this_thread::sleep_for(300ms);
        return found.window;
    }

    std::optional<DWORD> ExitCode(std::chrono::milliseconds limit = 20s) {
        if (::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    std::string Work(const std::string& relative) const { return platform::JoinPath(temp_.path(), relative); }

    qb::testsupport::FakePhone phone_;
    qb::testsupport::ScopedTempFolder temp_ {"qb-app-temp-"};
    std::optional<std::string> oldTemp_;
    PROCESS_INFORMATION process_ {};
};

TEST_F(Application, TheCloseButtonEndsTheProcessWith1000AndRemovesThePictureCache) {
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    CaptureWindow(window).Save("Application.started-without-phone");
    EXPECT_TRUE(platform::FolderExists(Work("Velmora\\picture")));
    Click(CentreOf(::GetDlgItem(window, IDC_CLOSE)));
    EXPECT_EQ(ExitCode(), std::optional<DWORD>(1000));
    EXPECT_FALSE(platform::FolderExists(Work("Velmora\\picture")));
    EXPECT_TRUE(platform::FolderExists(Work("Velmora\\bak")));
    EXPECT_TRUE(platform::FolderExists(Work("velmora-quillbrook\\bak")));
}

TEST_F(Application, MenuExitEndsTheProcessWithZero) {
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    Click(CentreOf(::GetDlgItem(window, IDC_MENU)));
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        menu = nullptr;
        ::EnumWindows(FindPopupMenu, reinterpret_cast<LPARAM>(&menu));
        return menu != nullptr;
    }, 5s));
    std::this_thread::sleep_for(200ms);
    CaptureWindow(window).Save("Application.menu");
    // Home, About, Help, Update, Exit.
    for (int i = 0; i < 5; ++i) PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    EXPECT_EQ(ExitCode(), std::optional<DWORD>(0));
}

TEST_F(Application, EnterAndEscapeLeaveItRunningAndTheSystemCloseEndsWithZero) {
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    PressKey(VK_RETURN);
    PressKey(VK_ESCAPE);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(::WaitForSingleObject(process_.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(::IsWindowVisible(window));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(ExitCode(), std::optional<DWORD>(0));
}

}  // namespace
}  // namespace qb::app::testsupport
