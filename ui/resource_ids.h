// Dialog templates and control identifiers of the skinned dialogs. Shared
// by the resource scripts and the code.
#pragma once

// Message box.
#define IDD_MSGBOX 131
#define IDC_MSGBOX_CLOSE 1010
#define IDC_MSGBOX_OK 1011
#define IDC_MSGBOX_YES 1012
#define IDC_MSGBOX_TEXT 1013
#define IDC_MSGBOX_NO 1014
#define IDC_MSGBOX_CANCEL 1015
#define IDC_MSGBOX_ICON 1016

// About box.
#define IDD_ABOUTBOX 132
#define IDC_ABOUT_CLOSE 1024
#define IDC_ABOUT_LINK 1025
#define IDC_ABOUT_OK 1027

// Contact and message panels (child dialogs without controls; the code
// places and sizes them).
#define IDD_CONTACT_BOARD 133
#define IDD_MSG_BOARD 134

// Recover progress dialog.
#define IDD_RECOVER 1038
#define IDC_RECOVER_CLOSE 1024
#define IDC_RECOVER_PROGRESS 1036
#define IDC_RECOVER_FINISHED 1037
#define IDC_RECOVER_STATUS 1039
#define IDC_RECOVER_CLOSE_TOP 1040
#define IDC_RECOVER_STOP 1041
