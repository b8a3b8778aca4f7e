// The base of the skinned controls: a native child window subclassed so
// that its messages reach the control object first; what the object does
// not handle goes on to the window's own procedure.
#pragma once

#include <windows.h>

namespace qb::ui {

class CControlBase {
public:
    CControlBase(const CControlBase&) = delete;
    CControlBase& operator=(const CControlBase&) = delete;

    HWND Hwnd() const { return hwnd_; }

protected:
    CControlBase() = default;
    virtual ~CControlBase() { Unsubclass(); }

    // Takes over the window (letting go of a previous one); false when the
    // system refuses.
    bool Subclass(HWND window);
    void Unsubclass();

    // Every message of the window; DefaultProc passes one on.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);

    HWND hwnd_ = nullptr;
};

// The system's hand cursor, loaded once, for what can be clicked.
HCURSOR HandCursor();

}  // namespace qb::ui
