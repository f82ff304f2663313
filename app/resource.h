// Resource and control ids of CalvoroRecord.exe.
#pragma once

#define IDS_ABOUTBOX 101
#define IDD_CALVORORECORD_DIALOG 102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME 128
#define IDR_TRAY_MENU 129

// Bitmaps (24 bits per pixel): the main window's background (700 x 520), the
// settings dialog's (551 x 424), the about dialog's (470 x 293) and the
// banner of the main window (692 x 102).
#define IDB_MAIN_BACKGROUND 130
#define IDB_SETTING_BACKGROUND 132
#define IDB_ABOUT_BACKGROUND 134
#define IDB_BANNER 136

// Main window controls.
#define IDC_LIST_HIDDEN 1000
#define IDC_IPADDRESS_HIDDEN 1001
#define IDC_UPDATE_HIDDEN 1002
#define IDC_RECORD 1003
#define IDC_PAUSE 1004
#define IDC_STOP 1005
#define IDC_PROGRESS_HIDDEN 1006
#define IDC_BITMAP_HIDDEN 1007
#define IDC_MINIMIZE 1008
#define IDC_OPTION 1009
#define IDC_TITLE 1010
#define IDC_APP_ICON 1011
#define IDC_OPEN_FOLDER 1028
#define IDC_CLIENT_STATUS 1029
#define IDC_FOLDER_STATUS 1030
#define IDC_RECORD_STATUS 1031
#define IDC_RUN_SKYPE 1032
#define IDC_VIRTUALSTORE_HINT 1034
#define IDC_OPEN_VIRTUALSTORE 1035
#define IDC_HELP_TEXT 1039
#define IDC_INFO_1 1047
#define IDC_INFO_2 1048
#define IDC_INFO_3 1049
#define IDC_BANNER 1050

// System menu and menu commands.
#define IDM_ABOUTBOX 0x0010
#define ID_MENU_ABOUT 5002
#define ID_MENU_EXIT 5005
#define ID_MENU_SETTING 5006
#define ID_MENU_TOP_WINDOW 5007
#define ID_TRAY_OPEN 32771
#define ID_TRAY_ABOUT 32772
#define ID_TRAY_EXIT 32773
#define ID_TRAY_SETTING 32774
