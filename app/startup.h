// The process start: the platform libraries the windows need, the image
// folder beside the executable, the main window and its message loop, and
// the removal of the picture cache at the end.
#pragma once

#include <windows.h>

#include <string>

#include "app/main_dlg.h"

namespace qb::app {

// The exit code after the title-bar close button; 0 otherwise.
constexpr int kCloseButtonExitCode = 1000;

// The executable's folder + "\image\".
std::wstring ImageFolderBesideExecutable();

// Creates the message loop and the main window, shows it with the show
// state and runs the loop; returns the loop's exit code (0 when the window
// cannot be created). pictureFolder receives the window's picture cache.
int Run(int showState, const MainDlgSettings& settings = {}, std::string* pictureFolder = nullptr);

// The whole process: COM, common controls, the module, GDI+, Run, then the
// module's shut-down and the picture cache removed.
int RunApplication(HINSTANCE instance, int showState, const MainDlgSettings& settings = {});

}  // namespace qb::app
