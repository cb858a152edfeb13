// Resource identifiers of TAVFrmDL. The dialog and icon numbers are the tool's published ones;
// test drivers find controls by their numbers, so keep them too.
#pragma once

// Main dialog, progress dialog, version dialog and date-stamp notice: Japanese / English.
#define IDD_MAIN_JA 101
#define IDD_PROGRESS_JA 102
#define IDD_VERSION_JA 107
#define IDD_NOTICE_JA 111
#define IDD_MAIN_EN 108
#define IDD_PROGRESS_EN 109
#define IDD_VERSION_EN 110
#define IDD_NOTICE_EN 112

// Icons beside the operation mode buttons, and the program's icon.
#define IDI_UPDATE 104
#define IDI_VERSION 106
#define IDI_TAVFRMDL 130

// Main dialog controls.
#define IDC_FILE_NAME 1000
#define IDC_REFERENCE 1001
#define IDC_RUN 1009
#define IDC_CANCEL 1010
#define IDC_RADIO_SPARROW 1017
#define IDC_RADIO_REED 1018
#define IDC_RADIO_LARCH 1019
#define IDC_RADIO_REED_MSR 1020
#define IDC_MODE_UPDATE 1021
#define IDC_MODE_VERSION 1022
#define IDC_DATE 1027
#define IDC_INSTRUCTION 1040

// Progress dialog controls.
#define IDC_STATUS 1004
#define IDC_MARK 1005
#define IDC_PROGRESS 1006

// Version dialog: the version text (its Run and Cancel are IDC_RUN and IDC_CANCEL).
#define IDC_VERSION_TEXT 1030

// Date-stamp notice's text.
#define IDC_NOTICE_TEXT 1041

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
