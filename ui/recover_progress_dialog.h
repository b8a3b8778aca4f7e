// DhRecoverProgressDialog: the modal dialog of the recover job. Its worker
// writes the ticked contacts, conversations and found files (the recover
// job, output/recover_job.h) while the dialog shows "done/total (name)", a
// percentage bar, Stop and two Close buttons, and at the end "Recovering
// finished." with what was written whole, what was cut short and what could
// not be written.
#pragma once

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "output/recover_job.h"
#include "ui/img_button.h"
#include "ui/skin_image.h"
#include "ui/skinned_dialog.h"

namespace qb::ui {

// Posted by the worker when the job is over, with wParam kRecoverEnd.
constexpr UINT WMU_RECOVER_END = 1136;  // WM_USER + 112

class DhRecoverProgressDialog final : public CSkinnedDialog {
public:
    static constexpr WPARAM kRecoverEnd = 4;
    static constexpr UINT_PTR kDisplayTimer = 0;
    static constexpr UINT kDisplayPeriod = 400;

    // The categories to write (their records borrowed for the dialog's
    // life), the output root (UTF-8, existing) and the report template.
    DhRecoverProgressDialog(std::vector<output::RecoverCategory> categories, std::string outputRoot,
                            std::string templatePath);
    ~DhRecoverProgressDialog() override;

    // Runs the dialog modally over the owner until the job is over and a
    // Close button was pressed; returns the code it ended with.
    INT_PTR Run(HWND owner);

    // Valid once the job is over.
    const output::RecoverOutcome& Outcome() const { return outcome_; }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnInit();
    void Paint();
    void UpdateDisplay();
    void OnEnd();
    void OnStop();
    void OnClose();
    void Work();

    std::vector<output::RecoverCategory> categories_;
    std::string outputRoot_;
    std::string templatePath_;
    output::RecoverProgress progress_;
    output::RecoverOutcome outcome_;
    std::thread worker_;
    bool closeRequested_ = false;
    bool ended_ = false;

    SkinImage background_;
    CImgButton closeTop_, stop_, close_;
};

}  // namespace qb::ui
