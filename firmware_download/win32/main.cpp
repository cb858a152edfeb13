// TAVFrmDL: the firmware download tool. Without a command line it shows its dialogs; with one
// ("2 firmware.mhx") it downloads that file into the keyboard and ends with an exit code that
// scripts test. It is a console program (cmd waits for it and sets %ERRORLEVEL%), but writes
// nothing to the console and shows no window in batch mode.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>

#include <memory>
#include <string>

#include "common/date_text.h"
#include "common/win32/console.h"
#include "common/win32/single_instance.h"
#include "common/win32/wide_text.h"
#include "firmware_download/batch.h"
#include "firmware_download/win32/tool.h"
#include "hidlink/win32/host_factory.h"

namespace {

// The current folder in the ANSI code page; empty when it does not fit a path.
std::string current_folder() {
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetCurrentDirectoryW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return common::win32::to_ansi(folder);
}

}  // namespace

int main() {
    common::win32::hide_console_titled_with_program_path();
    const std::string command_text =
        firmware_download::command_tail(common::win32::to_ansi(GetCommandLineW()));
    const bool gui = firmware_download::is_gui_mode(command_text);

    auto tool = std::make_unique<firmware_download::win32::Tool>(
        hidlink::make_host(), firmware_download::japanese_from_code_page(GetACP()));
    tool->instance = GetModuleHandleW(nullptr);
    // TAVFrmDL shares the console of the cmd it was started from, in both modes (run_gui adds
    // the dialogs' refusal of the end of the session).
    tool->session.hold_interruptions = common::win32::ignore_console_breaks;

    common::win32::SingleInstance guard(firmware_download::instance_mutex_name);
    if (guard.another_instance_runs()) {
        return gui ? firmware_download::gui_exit_code
                   : firmware_download::batch_second_instance_exit_code;
    }
    tool->instance_guard = &guard;

    if (!gui) {
        auto today = [] { return common::date_text(common::local_now().date); };
        return firmware_download::run_batch(command_text, current_folder(), tool->session, today);
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return firmware_download::win32::run_gui(*tool);
}
