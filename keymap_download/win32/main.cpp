// TAVmapDL: the key map download tool. Without arguments it shows its dialogs; with arguments
// it runs one batch download and ends with an exit code that scripts test. It is a console
// program (cmd waits for it and sets %ERRORLEVEL%), but writes nothing to the console.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "hidlink/win32/host_factory.h"
#include "keymap_download/batch.h"
#include "keymap_download/batch_options.h"
#include "keymap_download/win32/tool.h"
#include "keymap_download/win32/wide_text.h"

namespace {

using keymap_download::win32::Tool;

// Started from Explorer, the program gets a console of its own titled with its full path, and
// that empty window would only stand beside the dialogs. A console shared with cmd has
// another title and stays.
void hide_own_console() {
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

// The arguments after the program name, in the ANSI code page, as the batch options expect.
std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv != nullptr && i < count; ++i) {
        args.push_back(keymap_download::win32::to_ansi(argv[i]));
    }
    LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    hide_own_console();
    std::vector<std::string> args = arguments();
    std::string command_text = keymap_download::join_command_text(args);
    bool gui = keymap_download::is_gui_mode(command_text);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Tool tool(hidlink::make_host(), keymap_download::japanese_from_code_page(GetACP()));
    tool.instance = GetModuleHandleW(nullptr);

    // Not owned: the mutex only marks that an instance runs.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, keymap_download::instance_mutex_name);
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        if (gui) {
            return keymap_download::gui_second_instance_exit_code;
        }
        return keymap_download::win32::report_second_instance(tool);
    }
    tool.instance_mutex = mutex;
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);

    int exit_code = gui ? keymap_download::win32::run_gui(tool)
                        : keymap_download::win32::run_batch_mode(tool, command_text);
    if (tool.instance_mutex != nullptr) {
        CloseHandle(tool.instance_mutex);
    }
    return exit_code;
}
