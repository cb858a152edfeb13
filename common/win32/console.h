#pragma once
// The console step of the suite's console-subsystem programs (they are console programs so that
// cmd waits for them and sets %ERRORLEVEL%, but they show only windows).
namespace common::win32 {

// Started from Explorer, the program gets a console of its own titled with its full path, and
// that empty window would only stand beside the dialogs. A console shared with cmd has another
// title and stays.
void hide_console_titled_with_program_path();

}  // namespace common::win32

namespace common::win32 {

// For GUI-subsystem programs: hides the console attached to this process only when no other
// process shares it (a console of its own); the window of a cmd that started it stays.
void hide_console_of_this_process_alone();

}  // namespace common::win32

namespace common::win32 {

// While held, Ctrl+C and Ctrl+Break in the console this process shares do not end it. Closing
// the console window, logoff and shutdown still do: Windows ends the process a few seconds
// after those events whatever a handler answers.
void ignore_console_breaks(bool hold);

}  // namespace common::win32
