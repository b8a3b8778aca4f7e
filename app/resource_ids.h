// The main window's template, controls and menu commands. Shared by the
// resource script and the code.
#pragma once

#define IDD_MAINDLG 129

// Controls.
#define IDC_CLOSE 1000
#define IDC_MINIMIZE 1001
#define IDC_CATEGORY_TREE 1003
#define IDC_RESULT_LIST 1004
#define IDC_PROGRESS 1005
#define IDC_RECOVER 1010
#define IDC_MENU 1024
#define IDC_HOME 1029
#define IDC_SUPPORT 1031
#define IDC_BACK 1032
#define IDC_REFRESH 1033
#define IDC_PAUSE 1034
#define IDC_RESUME 1035
#define IDC_STOP 1036

// Menu commands.
#define ID_MENU_HOME 32771
#define ID_MENU_ABOUT 104
#define ID_MENU_HELP 32775
#define ID_MENU_UPDATE 32777
#define ID_MENU_EXIT 105
