#include "ui/recover_progress_dialog.h"

#include <commctrl.h>

#include <cstdio>
#include <utility>

#include "output/recover_state.h"
#include "ui/gdi_objects.h"
#include "ui/resource_ids.h"
#include "ui/ui_helpers.h"
#include "ui/wide_text.h"

namespace qb::ui {
namespace {

// A dialog whose background picture is missing keeps a usable size.
constexpr int kFallbackWidth = 390;
constexpr int kFallbackHeight = 245;
constexpr COLORREF kTextColour = RGB(255, 0, 0);

struct Place {
    int id;
    RECT rect;
};
constexpr Place kPlaces[] = {
    {IDC_RECOVER_STATUS, {20, 130, 20 + 330, 130 + 30}},
    {IDC_RECOVER_PROGRESS, {20, 160, 20 + 330, 160 + 20}},
    {IDC_RECOVER_FINISHED, {20, 190, 20 + 330, 190 + 30}},
};

}  // namespace

DhRecoverProgressDialog::DhRecoverProgressDialog(std::vector<output::RecoverCategory> categories,
                                                 std::string outputRoot, std::string templatePath)
    : categories_(std::move(categories)),
      outputRoot_(std::move(outputRoot)),
      templatePath_(std::move(templatePath)),
      background_(L"regbox.png") {}

DhRecoverProgressDialog::~DhRecoverProgressDialog() {
    // A dialog that could not run still lets its worker end first.
    if (worker_.joinable()) {
        output::recoverState.store(output::kRecoverStopRequested);
        worker_.join();
    }
}

INT_PTR DhRecoverProgressDialog::Run(HWND owner) { return DoModal(owner, IDD_RECOVER); }

void DhRecoverProgressDialog::Work() {
    outcome_ = output::RunRecoverJob(categories_, outputRoot_, progress_, templatePath_);
    int running = output::kRecoverRunning;
    output::recoverState.compare_exchange_strong(running, output::kRecoverFinished);
    ::PostMessageW(Hwnd(), WMU_RECOVER_END, kRecoverEnd, 0);
}

void DhRecoverProgressDialog::OnInit() {
    FitToBackground(background_, kFallbackWidth, kFallbackHeight);
    for (const Place& place : kPlaces) {
        ::SetWindowPos(::GetDlgItem(Hwnd(), place.id), nullptr, place.rect.left, place.rect.top,
                       place.rect.right - place.rect.left, place.rect.bottom - place.rect.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SetDlgItemTextW(Hwnd(), IDC_RECOVER_STATUS, L"0/0 (FileName)");
    ::ShowWindow(::GetDlgItem(Hwnd(), IDC_RECOVER_FINISHED), SW_HIDE);
    HWND bar = ::GetDlgItem(Hwnd(), IDC_RECOVER_PROGRESS);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(bar, PBM_SETPOS, 0, 0);
    closeTop_.Attach(::GetDlgItem(Hwnd(), IDC_RECOVER_CLOSE_TOP), ImagePath(L"close.png"), -8, 5);
    stop_.Attach(::GetDlgItem(Hwnd(), IDC_RECOVER_STOP), ImagePath(L"stop.png"), 205, 200);
    close_.Attach(::GetDlgItem(Hwnd(), IDC_RECOVER_CLOSE), ImagePath(L"close_dlg.png"), 287, 200);

    output::recoverState.store(output::kRecoverRunning);
    ::SetTimer(Hwnd(), kDisplayTimer, kDisplayPeriod, nullptr);
    try {
        worker_ = std::thread(&DhRecoverProgressDialog::Work, this);
    } catch (const std::system_error&) {
        // Without a worker nothing is written; the dialog ends as a job
        // stopped at once.
        output::recoverState.store(output::kRecoverStopRequested);
        ::PostMessageW(Hwnd(), WMU_RECOVER_END, kRecoverEnd, 0);
    }
}

void DhRecoverProgressDialog::UpdateDisplay() {
    const output::RecoverProgress::View view = progress_.Read();
    wchar_t status[512];
    std::swprintf(status, std::size(status), L"%llu/%llu (%ls)", static_cast<unsigned long long>(view.done),
                  static_cast<unsigned long long>(view.total), Wide(view.currentName).c_str());
    std::wstring text = status;
    if (ended_) {
        // What the job could not do comes under the count.
        const std::string summary = output::RecoverSummary(outcome_);
        if (!summary.empty()) text += L"\r\n" + Wide(summary);
    }
    HWND label = ::GetDlgItem(Hwnd(), IDC_RECOVER_STATUS);
    ::SetWindowTextW(label, text.c_str());
    // The label is drawn without a background: the dialog's picture goes
    // under the new text first.
    RECT place {};
    ::GetWindowRect(label, &place);
    ::MapWindowPoints(HWND_DESKTOP, Hwnd(), reinterpret_cast<POINT*>(&place), 2);
    ::RedrawWindow(Hwnd(), &place, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WPARAM percent = view.total == 0 ? 0 : static_cast<WPARAM>(view.done * 100 / view.total);
    ::SendDlgItemMessageW(Hwnd(), IDC_RECOVER_PROGRESS, PBM_SETPOS, percent, 0);
}

void DhRecoverProgressDialog::OnEnd() {
    if (!ended_) {
        if (worker_.joinable()) worker_.join();  // it has posted its last word
        ended_ = true;
        ::KillTimer(Hwnd(), kDisplayTimer);
        // Room for the summary under the count, above the bar.
        if (!output::RecoverSummary(outcome_).empty()) {
            ::SetWindowPos(::GetDlgItem(Hwnd(), IDC_RECOVER_STATUS), nullptr, 20, 118, 350, 42,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        }
        UpdateDisplay();
        ::ShowWindow(::GetDlgItem(Hwnd(), IDC_RECOVER_FINISHED), SW_SHOW);
        stop_.SetEnabled(false);
        ::EnableWindow(stop_.Hwnd(), FALSE);
        output::recoverState.store(output::kRecoverFinished);
    }
    if (closeRequested_) EndDialog(IDC_RECOVER_CLOSE);
}

void DhRecoverProgressDialog::OnStop() {
    output::recoverState.store(output::kRecoverStopRequested);
    stop_.SetEnabled(false);
    ::EnableWindow(stop_.Hwnd(), FALSE);
}

void DhRecoverProgressDialog::OnClose() {
    for (CImgButton* button : {&closeTop_, &stop_, &close_}) {
        button->SetEnabled(false);
        ::EnableWindow(button->Hwnd(), FALSE);
    }
    closeRequested_ = true;
    if (ended_ || output::recoverState.load() == output::kRecoverFinished) {
        ::PostMessageW(Hwnd(), WMU_RECOVER_END, kRecoverEnd, 0);
    } else {
        output::recoverState.store(output::kRecoverStopRequested);
    }
}

void DhRecoverProgressDialog::Paint() {
    PaintOffscreen(Hwnd(), [this](HDC dc, const RECT& client) {
        ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        {
            Gdiplus::Graphics graphics(dc);
            background_.Draw(graphics, 0, 0, client.right, client.bottom);
        }
        ::SetBkMode(dc, TRANSPARENT);
        OwnedFont title(get_font(L"Arial", 14, 400));
        SelectObjectScope select(dc, title.Get());
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::TextOutW(dc, 40, 7, kProductTitle, static_cast<int>(std::size(kProductTitle) - 1));
        for (CImgButton* button : {&closeTop_, &stop_, &close_}) {
            if (button->Hwnd() != nullptr) button->CaptureBackground(dc);
        }
    });
    for (CImgButton* button : {&closeTop_, &stop_, &close_}) {
        if (button->Hwnd() != nullptr) ::InvalidateRect(button->Hwnd(), nullptr, FALSE);
    }
}

bool DhRecoverProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        result = TRUE;
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_TIMER:
        if (wParam == kDisplayTimer) UpdateDisplay();
        return true;
    case WMU_RECOVER_END:
        if (wParam == kRecoverEnd) OnEnd();
        return true;
    case WM_CTLCOLORSTATIC:
        ::SetTextColor(reinterpret_cast<HDC>(wParam), kTextColour);
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            switch (LOWORD(wParam)) {
            case IDC_RECOVER_STOP:
                OnStop();
                break;
            case IDC_RECOVER_CLOSE:
            case IDC_RECOVER_CLOSE_TOP:
            case IDCANCEL:
                OnClose();
                break;
            default:
                break;  // Enter does nothing
            }
            return true;
        }
        return OnSkinnedMessage(message, wParam, lParam, result);
    default:
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
}

}  // namespace qb::ui
