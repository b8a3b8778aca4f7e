#include "app/startup.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "app/app_module.h"
#include "platform/file.h"
#include "ui/font_pool.h"
#include "ui/gdiplus_include.h"
#include "ui/skin_image.h"

namespace qb::app {
namespace {

// GDI+ for the process's lifetime once started.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    ~GdiplusSession() {
        if (started_) Gdiplus::GdiplusShutdown(token_);
    }

private:
    ULONG_PTR token_ = 0;
    bool started_ = false;
};

}  // namespace

std::wstring ImageFolderBesideExecutable() {
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length < MAX_PATH ? length : MAX_PATH);
    const std::size_t cut = folder.find_last_of(L"\\/");
    folder.resize(cut == std::wstring::npos ? 0 : cut);
    return folder + L"\\image\\";
}

int Run(int showState, const MainDlgSettings& settings, std::string* pictureFolder) {
    ui::SetImageFolder(ImageFolderBesideExecutable());
    CMessageLoop loop;
    Module().AddMessageLoop(&loop);
    int result = 0;
    {
        auto window = std::make_unique<CMainDlg>(settings);
        if (window->CreateMain()) {
            ::ShowWindow(window->Hwnd(), showState);
            result = loop.Run();
        }
        if (pictureFolder != nullptr) *pictureFolder = window->Paths().pictureFolder;
    }
    Module().RemoveMessageLoop();
    return result;
}

int RunApplication(HINSTANCE instance, int showState, const MainDlgSettings& settings) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls {sizeof controls, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    ::InitCommonControlsEx(&controls);

    std::string pictureFolder;
    int result = 0;
    {
        std::unique_ptr<GdiplusSession> gdiplus;
        // Without the module, the window is still attempted; its pictures
        // then fail to load and are not drawn.
        if (Module().Init(instance)) gdiplus = std::make_unique<GdiplusSession>();
        result = Run(showState, settings, &pictureFolder);
        Module().Term();
        ui::TkFontPool::Instance().Destroy();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();

    if (!pictureFolder.empty()) {
        // Without its trailing separator; failure (a file still open) leaves it.
        while (pictureFolder.size() > 1 && (pictureFolder.back() == '\\' || pictureFolder.back() == '/')) {
            pictureFolder.pop_back();
        }
        platform::RemoveFolderTree(pictureFolder);
    }
    return result;
}

}  // namespace qb::app
