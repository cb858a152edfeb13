#pragma once
// Refusing a log-off, restart or shutdown while the keyboard is being written: a tool ended
// half-way through a transfer leaves the keyboard without firmware or with a partial key map.
#include <windows.h>

#include <functional>
#include <string>

namespace common::win32 {

// From any thread. While held, the dialog `window` (a top-level window of this process, on
// whose thread WM_QUERYENDSESSION arrives) refuses the end of the session and Windows shows
// `reason` beside the program. The reason is set on the window's own thread, as the system
// requires: through a message when called from another thread.
void hold_session_end(HWND window, const std::wstring& reason, bool hold);

// A transfer's hold hook for its window on screen: hold_session_end with that window and reason.
std::function<void(bool hold)> session_end_hold(HWND window, std::wstring reason);

// First in that dialog's procedure: true when the message was the guard's (WM_QUERYENDSESSION
// while held, or the guard's own message); the procedure then returns TRUE.
bool answer_session_end(HWND dialog, UINT message, LPARAM lparam);

}  // namespace common::win32
