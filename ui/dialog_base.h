// The window base of the skinned application: a dialog created from a
// template of the executable, modal or modeless, whose messages reach one
// virtual handler, plus the pieces every skinned dialog shares (messages
// reflected to the owner-drawn controls, dragging by the background,
// rounded clipping, centring).
#pragma once

#include <windows.h>

namespace qb::ui {

// A child control's message sent back to the control itself under this
// offset, so that owner-drawn controls draw and handle their own requests.
constexpr UINT kReflectedMessageBase = 0x2000;
constexpr UINT kReflectedDrawItem = kReflectedMessageBase + WM_DRAWITEM;
constexpr UINT kReflectedMeasureItem = kReflectedMessageBase + WM_MEASUREITEM;
constexpr UINT kReflectedCommand = kReflectedMessageBase + WM_COMMAND;
constexpr UINT kReflectedNotify = kReflectedMessageBase + WM_NOTIFY;

class CDialogBase {
public:
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase();

    // A modeless dialog; false when the window could not be created.
    bool Create(HWND owner, UINT templateId);
    // A modal dialog; returns the end code, or -1 when it could not run.
    INT_PTR DoModal(HWND owner, UINT templateId);

    HWND Hwnd() const { return hwnd_; }

protected:
    CDialogBase() = default;

    // Every message of the dialog. Returns true when handled, with the
    // message's result in `result`; false leaves it to the dialog manager.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The window is gone (after WM_NCDESTROY).
    virtual void OnFinalMessage() {}

    // Ends a modal dialog with the code.
    void EndDialog(INT_PTR code);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
};

// Whether the message is one a child control sends its parent (commands,
// notifications, owner-draw requests, control colours, scrolling).
bool IsControlMessage(UINT message);

// Sends a message that concerns a child control (commands, notifications,
// owner-draw requests, control colours, scrolling) back to that control as
// message + kReflectedMessageBase. False when the message names no control
// of this window; result is the control's answer.
bool ReflectToControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Starts moving the window as if its caption had been pressed.
void StartCaptionDrag(HWND window);

// Clips the window to its client rectangle plus one pixel with corners of
// the given ellipse.
void SetRoundedRegion(HWND window, int ellipse = 5);

// Centres the window on its owner's window (or, without owner, on the work
// area of the monitor it is on).
void CenterOnOwner(HWND window, HWND owner);
void CenterOnWorkArea(HWND window);

}  // namespace qb::ui
