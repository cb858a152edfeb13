#pragma once
// Shows a message box the core planned, with the W APIs, so its texts show on any code page.
#include <windows.h>

#include "common/message_box.h"

namespace common::win32 {

// Nothing when the plan shows nothing (then 0); otherwise MessageBoxW's answer.
int show_message(HWND owner, const MessageBoxPlan& plan, UINT buttons = MB_OK);

}  // namespace common::win32
