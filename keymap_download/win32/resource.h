// Resource identifiers of TAVmapDL. The dialog and control numbers are the tool's published
// ones (scripts and test drivers find controls by them); keep them.
#pragma once

// Main dialog, progress dialog and date stamp window: Japanese / English templates.
#define IDD_MAIN_JA 101
#define IDD_PROGRESS_JA 102
#define IDD_DATE_STAMP_JA 111
#define IDD_MAIN_EN 108
#define IDD_PROGRESS_EN 109
#define IDD_DATE_STAMP_EN 112

// Batch mode's message dialog and usage dialog (English only).
#define IDD_BATCH_MESSAGE 120
#define IDD_USAGE 121

#define IDI_TAVMAPDL 130

// Main dialog controls.
#define IDC_FILE_NAME 1000
#define IDC_REFERENCE 1001
#define IDC_RUN 1009
#define IDC_CANCEL 1010
#define IDC_SAVE_KEYMAP 1011  // saves the keyboard's key map as a table file
#define IDC_RADIO_SPARROW 1017
#define IDC_RADIO_REED 1018
#define IDC_DATE 1027
#define IDC_INSTRUCTION 1040

// Progress dialog controls.
#define IDC_STATUS 1004
#define IDC_PROGRESS 1006
#define IDC_MARK 1009

// Date stamp window's text.
#define IDC_DATE_STAMP_TEXT 1041

// Batch dialogs: the message line, and the usage texts in order (7 of them).
#define IDC_BATCH_TEXT 1050
#define IDC_USAGE_FIRST 1051

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
