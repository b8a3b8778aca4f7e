// A main window on the test thread, attached to a fake phone through the
// fake bridge client, with its working folders in a scratch folder, its
// update checks aimed at a loopback server and the pages it opens
// recorded instead of shown in a browser.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "src/cdr/cdr_interface.h"
#include "tests/app/gui_session.h"
#include "tests/app/screen_capture.h"
#include "tests/device/fake_phone.h"
#include "tests/support/temp_folder.h"
#include "tests/update/loopback_http_server.h"
#include "tools/sample_card/card_truth.h"

namespace qb::app::testsupport {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The start-up check's answer, before Open.
    void ServeUpdate(const std::string& body);
    // Lays out the generated sample phone for the fake bridge client.
    void ServeSamplePhone();
    // Creates and shows the window; false when it could not be created.
    bool Open();
    // The sample phone loaded and the scan of the disks under way or done.
    void OpenLoaded();
    // A click on the text of a tree item, as a user selects it, and on the
    // text of a row of the list.
    void ClickTreeItem(HTREEITEM item);
    void ClickRow(int row);
    std::vector<HTREEITEM> Children(HTREEITEM parent);
    // A sample card image in the scratch folder, with its truth.
    std::string Card(const char* name, std::uint64_t seed, tools::CardTruth* truth = nullptr);

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

    // The storage module the window gets; by default one that finds no
    // disk, since the machine's own disks are nothing a test can rely on.
    std::function<std::unique_ptr<cdr::CdrInterface>()> storage_;
    // The time limit of every run of the bridge client.
    std::chrono::milliseconds adbLimit_ {3000};
    // Recover's folder chooser and Back's question, answered by the test.
    std::function<std::optional<std::wstring>(HWND)> chooseFolder_;
    std::function<bool()> confirmBack_;

    qb::testsupport::FakePhone phone_;
    qb::testsupport::ScopedTempFolder temp_ {"qb-gui-temp-"};
    std::unique_ptr<update::testsupport::LoopbackHttpServer> updates_;
    std::unique_ptr<CMainDlg> window_;
    std::vector<std::wstring> opened_;
};

// Real mouse input: the left button pressed at one screen point and
// released at another (the same by default), then a pause past the
// double-click time.
void ClickOnScreen(POINT press, std::optional<POINT> release = std::nullopt);
// A click on a client point of the window.
void ClickInWindow(HWND window, POINT client);

// The storage module with an EnumerateDevices that finds no disk at all.
std::unique_ptr<cdr::CdrInterface> StorageWithoutDisks();
// The storage module whose only disks are the given image files, shown as
// removable disks (kept until the next call); with slowCopies, every read of
// a copy or preview takes a tenth of a second.
std::unique_ptr<cdr::CdrInterface> StorageWithImages(std::vector<std::string> imagePaths, bool slowCopies = false);
// The same disks scanned by an engine that finds nothing and reports its
// progress slowly until it is stopped, so that Pause, Resume, Stop, Back and
// Close meet a running scan; SlowScans counts the disks it was run on.
std::unique_ptr<cdr::CdrInterface> StorageWithSlowScan(std::vector<std::string> imagePaths);
int SlowScans();

}  // namespace qb::app::testsupport
