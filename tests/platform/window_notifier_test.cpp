// Notifiers that deliver to a window: a message-only window on this thread
// receives what a worker thread posts and sends.
#ifdef _WIN32

#include "platform/window_notifier.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

namespace qb::platform {
namespace {

constexpr UINT kMessage = WM_USER + 77;

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

std::vector<Received>* g_received = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMessage && g_received) {
        g_received->push_back({message, wParam, lParam, ::GetCurrentThreadId()});
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class WindowNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_received = &received_;
        WNDCLASSW windowClass {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QbNotifierTestWindow";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, L"QbNotifierTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (window_) ::DestroyWindow(window_);
        g_received = nullptr;
    }

    // Handles this thread's messages until count have arrived or the time
    // is up.
    void PumpUntil(std::size_t count) {
        const DWORD start = ::GetTickCount();
        MSG msg;
        while (received_.size() < count && ::GetTickCount() - start < 5000) {
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

    HWND window_ = nullptr;
    std::vector<Received> received_;
};

// Posted messages keep their order; a sent one is handled as soon as the
// window's thread looks at its queue, ahead of what was posted.
TEST_F(WindowNotifierTest, PostedAndSentMessagesArriveOnTheWindowsThread) {
    std::unique_ptr<Notifier> notifier = MakeWindowNotifier(window_);
    std::atomic<bool> sendReturned {false};
    std::thread worker([&] {
        notifier->Post(kMessage, 1, 10);
        notifier->Post(kMessage, 2, -20);
        notifier->Send(kMessage, 3, 30);
        sendReturned = true;
    });
    PumpUntil(3);
    worker.join();

    ASSERT_EQ(received_.size(), 3u);
    std::vector<Received> posted;
    for (const Received& r : received_)
        if (r.wParam != 3) posted.push_back(r);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].wParam, 1u);
    EXPECT_EQ(posted[0].lParam, 10);
    EXPECT_EQ(posted[1].wParam, 2u);
    EXPECT_EQ(posted[1].lParam, -20);
    EXPECT_TRUE(sendReturned);
    for (const Received& r : received_) EXPECT_EQ(r.thread, ::GetCurrentThreadId());
}

// Send returns only once the window has handled the message: the worker
// waits while this thread has not pumped yet.
TEST_F(WindowNotifierTest, SendWaitsForTheWindow) {
    std::unique_ptr<Notifier> notifier = MakeWindowNotifier(window_);
    std::atomic<bool> sendReturned {false};
    std::thread worker([&] {
        notifier->Send(kMessage, 7, 0);
        sendReturned = true;
    });
    ::Sleep(200);
    EXPECT_FALSE(sendReturned);
    PumpUntil(1);
    worker.join();
    EXPECT_TRUE(sendReturned);
    ASSERT_EQ(received_.size(), 1u);
    EXPECT_EQ(received_[0].wParam, 7u);
}

}  // namespace
}  // namespace qb::platform

#endif  // _WIN32
