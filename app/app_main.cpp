// VelmoraQuillbrook.exe: the graphical entry point. The command line is
// ignored; the show state is the one the process was started with.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showState) {
    return qb::app::RunApplication(instance, showState);
}
