// A main window on the test thread, attached to a fake phone through the
// fake bridge client, with its working folders in a scratch folder, its
// update checks aimed at a loopback server and the pages it opens
// recorded instead of shown in a browser.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "tests/app/gui_session.h"
#include "tests/app/screen_capture.h"
#include "tests/device/fake_phone.h"
#include "tests/support/temp_folder.h"
#include "tests/update/loopback_http_server.h"

namespace qb::app::testsupport {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The start-up check's answer, before Open.
    void ServeUpdate(const std::string& body);
    // Creates and shows the window; false when it could not be created.
    bool Open();
    // Pumps until the acquisition has reported and the window has painted.
    bool WaitForState(device::DeviceState state, std::chrono::milliseconds limit = std::chrono::seconds(20));

    HWND Window() const { return window_->Hwnd(); }
    HWND Control(int id) const { return ::GetDlgItem(Window(), id); }
    // The window's pixels, kept as a screenshot under the name.
    ScreenPixels Snapshot(const std::string& name);
    // A skin picture's path in the staged image folder.
    static std::wstring Picture(const wchar_t* name);
    // How many of the picture's opaque sample pixels appear unchanged at
    // (x, y) + their place in the picture on the snapshot.
    static int MatchingPixels(const ScreenPixels& shot, const wchar_t* picture, int x, int y, int samples = 200);

    std::vector<std::wstring> OpenedPages() const { return opened_; }

    qb::testsupport::FakePhone phone_;
    qb::testsupport::ScopedTempFolder temp_ {"qb-gui-temp-"};
    std::unique_ptr<update::testsupport::LoopbackHttpServer> updates_;
    std::unique_ptr<CMainDlg> window_;
    std::vector<std::wstring> opened_;
};

}  // namespace qb::app::testsupport
