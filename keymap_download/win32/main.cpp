// TAVmapDL: the key map download tool. Without arguments it shows its dialogs; with arguments
// it runs one batch download and ends with an exit code that scripts test. It is a console
// program (cmd waits for it and sets %ERRORLEVEL%), but writes nothing to the console.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/win32/console.h"
#include "common/win32/single_instance.h"
#include "common/win32/wide_text.h"
#include "hidlink/win32/host_factory.h"
#include "keymap_download/batch.h"
#include "keymap_download/batch_options.h"
#include "keymap_download/win32/tool.h"

namespace {

using keymap_download::win32::Tool;

// The arguments after the program name, in the ANSI code page, as the batch options expect.
std::vector<std::string> arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv != nullptr && i < count; ++i) {
        args.push_back(common::win32::to_ansi(argv[i]));
    }
    LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    common::win32::hide_console_titled_with_program_path();
    std::vector<std::string> args = arguments();
    std::string command_text = keymap_download::join_command_text(args);
    bool gui = keymap_download::is_gui_mode(command_text);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Tool tool(hidlink::make_host(), keymap_download::japanese_from_code_page(GetACP()));
    tool.instance = GetModuleHandleW(nullptr);

    common::win32::SingleInstance guard(keymap_download::instance_mutex_name);
    if (guard.another_instance_runs()) {
        if (gui) {
            return keymap_download::gui_second_instance_exit_code;
        }
        return keymap_download::win32::report_second_instance(tool);
    }
    tool.instance_guard = &guard;
    // High, not real-time: a real-time process run by an administrator outranks the system's
    // input and disk threads, and its file dialogs' shell work could freeze the till PC.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);

    int exit_code = gui ? keymap_download::win32::run_gui(tool)
                        : keymap_download::win32::run_batch_mode(tool, command_text);
    return exit_code;
}
