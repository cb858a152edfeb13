#include "common/win32/console.h"

#include <windows.h>

namespace common::win32 {

void hide_console_titled_with_program_path() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return;  // truncated: no title can match
    }
    HWND console = FindWindowW(L"ConsoleWindowClass", path);
    if (console == nullptr) {
        // Not every console host uses that window class (Wine's does not): our own console,
        // by its title.
        wchar_t title[MAX_PATH + 2] = {};
        HWND own = GetConsoleWindow();
        if (own != nullptr && GetConsoleTitleW(title, MAX_PATH + 2) > 0 &&
            lstrcmpiW(title, path) == 0) {
            console = own;
        }
    }
    if (console != nullptr) {
        ShowWindow(console, SW_HIDE);
    }
}

void hide_console_of_this_process_alone() {
    HWND console = GetConsoleWindow();
    if (console == nullptr) {
        return;
    }
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) == 1) {
        ShowWindow(console, SW_HIDE);
    }
}

namespace {

BOOL WINAPI swallow_breaks(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

void ignore_console_breaks(bool hold) {
    // A handler of our own: the null handler would ignore only Ctrl+C, not Ctrl+Break.
    SetConsoleCtrlHandler(swallow_breaks, hold ? TRUE : FALSE);
}

}  // namespace common::win32
