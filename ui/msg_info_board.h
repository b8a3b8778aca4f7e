// CMsgInfoBoard: the conversation panel of the main window's right-hand
// column. A child dialog holding one CMsgInfoItem bubble per message,
// oldest first, received messages on the left and sent ones on the right;
// its vertical scroll bar moves the bubbles 10 pixels per unit.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "dbrecover/message_item.h"
#include "ui/dialog_base.h"
#include "ui/msg_info_item.h"

namespace qb::ui {

// lParam = the MsgThread to show (not owned; its messages are put in date
// order in place), or null for none.
constexpr UINT WMU_SHOW_MESSAGE = WM_USER + 102;

class CMsgInfoBoard final : public CDialogBase {
public:
    // Pixels the bubbles move per scroll unit.
    static constexpr int kScrollUnit = 10;

    CMsgInfoBoard() = default;
    ~CMsgInfoBoard() override;

    // Creates the panel hidden at the place (parent client pixels); false
    // when the window could not be made.
    bool Create(HWND parent, const RECT& place);
    // Destroys every bubble window and forgets the conversation (before it
    // is freed).
    void DestroyItems();

    const std::vector<std::unique_ptr<CMsgInfoItem>>& Items() const { return items_; }
    const dbrecover::MsgThread* Thread() const { return thread_; }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void ShowThread(dbrecover::MsgThread* thread);
    void AddItem(const dbrecover::MsgItem& message);
    void Paint();
    void ScrollContentTo(int position);

    dbrecover::MsgThread* thread_ = nullptr;
    std::vector<std::unique_ptr<CMsgInfoItem>> items_;
    int scrollPosition_ = 0;
};

}  // namespace qb::ui
