// Resource identifiers of TAVSET. The template numbers are the tool's published ones; the
// control numbers are what scripts and test drivers find controls by: keep them.
#pragma once

// The settings dialog: Japanese / English template.
#define IDD_SETTINGS_JA 101
#define IDD_SETTINGS_EN 103

#define IDI_TAVSET 130

#define IDC_MODEL_GROUP 1000
#define IDC_MODEL_SPARROW 1001
#define IDC_MODEL_REED 1002
#define IDC_MODEL_LARCH 1003
#define IDC_MSR_GROUP 1004
#define IDC_MSR_TYPE 1005
#define IDC_LOCKOUT_GROUP 1006
#define IDC_TWO_KEY 1007
#define IDC_ROLL_OVER 1008
#define IDC_OP_KEY_GROUP 1009
#define IDC_OP_KEY 1010
#define IDC_KEY_INPUT_GROUP 1011
#define IDC_TYPEMATIC 1012
// OK is IDOK. Cancel has an id of its own, so that Escape (IDCANCEL) does nothing.
#define IDC_CANCEL_BUTTON 1013
#define IDC_APPLY 1014
