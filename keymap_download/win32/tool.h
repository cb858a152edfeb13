#pragma once
// TAVmapDL's module-wide state: one object, created by main, used by the dialogs.
#include <windows.h>

#include <memory>
#include <string>

#include "common/clock.h"
#include "common/win32/single_instance.h"
#include "hidlink/device.h"
#include "hidlink/link.h"
#include "keymap_download/dialog_logic.h"
#include "keymap_download/keymap_protocol.h"
#include "keymap_download/keymap_table.h"
#include "keymap_download/messages.h"

namespace keymap_download::win32 {

// Longest file name and date text the dialogs take (characters, without the terminator).
constexpr int max_dialog_text = 260;

struct Tool {
    Tool(std::unique_ptr<hidlink::Host> host_in, bool japanese_in)
        : host(std::move(host_in)),
          link(*host, clock),
          session(link, clock),
          japanese(japanese_in),
          texts(messages_for(japanese_in)) {}

    HINSTANCE instance = nullptr;
    common::SteadyClock clock;
    std::unique_ptr<hidlink::Host> host;
    hidlink::Link link;
    KeymapSession session;
    bool japanese = false;
    const Messages& texts;
    common::win32::SingleInstance* instance_guard = nullptr;  // held by main

    // GUI state.
    wchar_t file_name[max_dialog_text + 1] = {};
    TableFile table_file;  // opened by Run, loaded and closed by the progress dialog
    std::string date_text;
    DownloadResult download_result = DownloadResult::declined;
    HWND date_stamp_window = nullptr;
};

// GUI mode: the main dialog; returns the exit code.
int run_gui(Tool& tool);
// Batch mode: the run, the report and its dialogs; returns the exit code.
int run_batch_mode(Tool& tool, const std::string& command_text);
// Batch mode when another instance runs (result 18).
int report_second_instance(Tool& tool);

}  // namespace keymap_download::win32
