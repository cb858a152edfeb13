#pragma once
// Resource and control ids of Lexmap (shared by Lexmap.rc and the shell).
#define IDI_LEXMAP 1

#define IDD_EDITOR_EN 101
#define IDD_EDITOR_JA 102
#define IDD_SETTING_EN 103
#define IDD_SETTING_JA 104
#define IDD_ABOUT_EN 105
#define IDD_ABOUT_JA 106
#define IDR_MENU_EN 201
#define IDR_MENU_JA 202

// Key buttons: IDC_KEY_FIRST + key index (A01 = 0 … J08 = 87).
#define IDC_KEY_FIRST 1000
#define IDC_KEY_LAST 1087
#define IDC_KEYCODE_LIST 1100
// Attribute boxes: Ordinary, Repeat, Shift, Ctrl, Alt.
#define IDC_ATTR_ORDINARY 1110
#define IDC_ATTR_REPEAT 1111
#define IDC_ATTR_SHIFT 1112
#define IDC_ATTR_CTRL 1113
#define IDC_ATTR_ALT 1114
// Size boxes: 1x1, 2x1, 1x2, 2x2.
#define IDC_SIZE_1X1 1120
#define IDC_SIZE_2X1 1121
#define IDC_SIZE_1X2 1122
#define IDC_SIZE_2X2 1123
#define IDC_TIMESTAMP 1130
#define IDC_FILENAME 1131
#define IDC_HINT 1132
#define IDC_GUIDE 1133
#define IDC_LABEL_KEYCODE 1140
#define IDC_GROUP_ATTRIBUTE 1141
#define IDC_GROUP_SIZE 1142
#define IDC_LABEL_TIMESTAMP 1143
#define IDC_SETTING_TEXT 1150
#define IDC_ABOUT_ICON 1160
#define IDC_ABOUT_NAME 1161
#define IDC_ABOUT_VERSION 1162

#define IDM_NEW 40001
#define IDM_OPEN 40002
#define IDM_SAVE 40003
#define IDM_SAVE_AS 40004
#define IDM_EXPORT 40005
#define IDM_EXIT 40006
#define IDM_KEYMAP_CHANGE 40007
#define IDM_ABOUT 40008
#define IDM_IMPORT_TABLE 40009
#define IDM_READ_KEYBOARD 40010
