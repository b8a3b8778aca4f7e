#include "tests/app/main_window_fixture.h"

#include <commctrl.h>

#include <atomic>

#include "platform/file.h"
#include "tools/fake_adb/fake_phone_layout.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_phone/sample_phone.h"
#include "ui/browser.h"
#include "ui/skin_image.h"

namespace qb::app::testsupport {

using namespace std::chrono_literals;

namespace {

std::vector<std::string>& ImagePaths() {
    static std::vector<std::string> paths;
    return paths;
}

bool slowImageCopies = false;

class SlowSource final : public platform::ByteSource {
public:
    explicit SlowSource(cdr::DiskHandle inner) : inner_(std::move(inner)) {}
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        ::Sleep(100);
        return inner_->ReadAt(offset, dst, n);
    }
    std::uint64_t Size() const override { return inner_->Size(); }

private:
    cdr::DiskHandle inner_;
};

std::unique_ptr<cdr::DeviceNode> NoDisks() { return std::make_unique<cdr::DeviceNode>(); }

std::unique_ptr<cdr::DeviceNode> ImageDisks() {
    auto root = std::make_unique<cdr::DeviceNode>();
    for (const std::string& path : ImagePaths()) {
        cdr::DeviceNode* disk = cdr::CreateCdrInterface()->AddImageFile(*root, path);
        if (disk == nullptr) continue;
        disk->removable = 1;
        if (slowImageCopies && disk->copyHandle) disk->copyHandle = std::make_shared<SlowSource>(disk->copyHandle);
    }
    return root;
}

}  // namespace

namespace {

std::atomic<int> slowScans {0};

int SlowScan(const cdr::CdrInterface&, cdr::DeviceNode&, int, cdr::ScanCallback callback, void* userData) {
    ++slowScans;
    for (std::uint64_t done = 1; done <= 20000; ++done) {
        if (callback(20000, done, nullptr, userData) == cdr::kStop) return 0;
        ::Sleep(5);
    }
    return 0;
}

}  // namespace

std::unique_ptr<cdr::CdrInterface> StorageWithSlowScan(std::vector<std::string> imagePaths) {
    slowScans = 0;
    auto storage = StorageWithImages(std::move(imagePaths));
    storage->ScanPartition = &SlowScan;
    return storage;
}

int SlowScans() { return slowScans.load(); }

void ClickOnScreen(POINT press, std::optional<POINT> release) {
    INPUT input {};
    input.type = INPUT_MOUSE;
    ::SetCursorPos(press.x, press.y);
    PumpFor(50ms);
    input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    ::SendInput(1, &input, sizeof input);
    PumpFor(50ms);
    const POINT up = release.value_or(press);
    ::SetCursorPos(up.x, up.y);
    PumpFor(50ms);
    input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &input, sizeof input);
    PumpFor(std::chrono::milliseconds(::GetDoubleClickTime() + 50));
}

void ClickInWindow(HWND window, POINT client) {
    ::ClientToScreen(window, &client);
    ClickOnScreen(client);
}

std::unique_ptr<cdr::CdrInterface> StorageWithoutDisks() {
    auto storage = cdr::CreateCdrInterface();
    storage->EnumerateDevices = &NoDisks;
    return storage;
}

std::unique_ptr<cdr::CdrInterface> StorageWithImages(std::vector<std::string> imagePaths, bool slowCopies) {
    ImagePaths() = std::move(imagePaths);
    slowImageCopies = slowCopies;
    auto storage = cdr::CreateCdrInterface();
    storage->EnumerateDevices = &ImageDisks;
    return storage;
}

void MainWindowTest::ServeSamplePhone() {
    std::string error;
    ASSERT_TRUE(tools::GenerateSamplePhone(temp_.File("sample"), {}, &error)) << error;
    ASSERT_TRUE(tools::LayOutFakePhone(tools::SamplePhoneLayout(temp_.File("sample")), phone_.folder() + "\\phone",
                                       {}, &error))
        << error;
}

void MainWindowTest::SetUp() {
    ClearQuitRequest();
    ui::SetBrowserOpener([this](const std::wstring& address) { opened_.push_back(address); });
    // Nothing newer by default: the start-up check stays silent.
    ServeUpdate(R"({"Fernhollow":[{"Version":"1.0.0.22","Nversion":"1.0.0.22","Update_URL":""}]})");
}

void MainWindowTest::TearDown() {
    if (window_ && window_->Hwnd() != nullptr) {
        ::SendMessageW(window_->Hwnd(), WM_COMMAND, MAKEWPARAM(105, 0), 0);  // Exit
    }
    PumpFor(50ms);
    window_.reset();
    ClearQuitRequest();
    ui::SetBrowserOpener({});
}

void MainWindowTest::ServeUpdate(const std::string& body) {
    updates_.reset();
    updates_ = std::make_unique<update::testsupport::LoopbackHttpServer>(update::testsupport::ServedAnswer {body});
}

bool MainWindowTest::Open() {
    MainDlgSettings settings;
    settings.adb = phone_.Options(adbLimit_, adbLimit_);
    settings.tempFolder = temp_.path();
    // Without a server, a port where nothing listens.
    settings.updateServer = {"127.0.0.1", updates_ ? updates_->Port() : update::testsupport::ClosedLoopbackPort()};
    settings.makeStorage = storage_ ? storage_ : [] { return StorageWithoutDisks(); };
    settings.chooseFolder = chooseFolder_;
    settings.confirmBack = confirmBack_;
    window_ = std::make_unique<CMainDlg>(settings);
    if (!window_->CreateMain()) return false;
    ::ShowWindow(window_->Hwnd(), SW_SHOW);
    ::SetForegroundWindow(window_->Hwnd());
    return true;
}

void MainWindowTest::OpenLoaded() {
    ServeSamplePhone();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() != ScanIdle; }, 30s));
}

void MainWindowTest::ClickTreeItem(HTREEITEM item) {
    const RECT box = window_->Tree().CheckBoxRect(item);
    ClickInWindow(window_->Tree().Hwnd(), POINT {box.right + 45, (box.top + box.bottom) / 2});
}

void MainWindowTest::ClickRow(int row) {
    RECT bounds {};
    bounds.left = LVIR_BOUNDS;
    ::SendMessageW(window_->List().Hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    ClickInWindow(window_->List().Hwnd(), POINT {bounds.left + 200, (bounds.top + bounds.bottom) / 2});
}

std::vector<HTREEITEM> MainWindowTest::Children(HTREEITEM parent) {
    std::vector<HTREEITEM> children;
    for (HTREEITEM child = TreeView_GetChild(window_->Tree().Hwnd(), parent); child != nullptr;
         child = TreeView_GetNextSibling(window_->Tree().Hwnd(), child)) {
        children.push_back(child);
    }
    return children;
}

std::string MainWindowTest::Card(const char* name, std::uint64_t seed, tools::CardTruth* truth) {
    std::string error;
    const std::string path = temp_.File(name);
    const auto made = tools::GenerateSampleCard(path, {.seed = seed}, &error);
    EXPECT_TRUE(made) << error;
    if (made && truth != nullptr) *truth = *made;
    return path;
}

bool MainWindowTest::WaitForState(device::DeviceState state, std::chrono::milliseconds limit) {
    const bool reached = PumpUntil([&] { return window_->State() == state; }, limit);
    ::UpdateWindow(Window());
    PumpFor(200ms);
    return reached;
}

ScreenPixels MainWindowTest::Snapshot(const std::string& name) {
    ::RedrawWindow(Window(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpFor(100ms);
    ScreenPixels shot = CaptureWindow(Window());
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    shot.Save(std::string(test->test_suite_name()) + "." + test->name() + "." + name);
    return shot;
}

std::wstring MainWindowTest::Picture(const wchar_t* name) { return ui::ImagePath(name); }

int MainWindowTest::MatchingPixels(const ScreenPixels& shot, const wchar_t* picture, int x, int y, int samples) {
    int matching = 0;
    for (const PicturePixel& p : OpaquePixelsOf(Picture(picture), samples)) {
        matching += Near(shot.At(x + p.x, y + p.y), p.colour, 12) ? 1 : 0;
    }
    return matching;
}

}  // namespace qb::app::testsupport
