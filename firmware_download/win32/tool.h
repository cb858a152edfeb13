#pragma once
// TAVFrmDL's module-wide state: one object, created by main, used by the dialogs.
#include <windows.h>

#include <memory>
#include <string>

#include "common/clock.h"
#include "common/win32/single_instance.h"
#include "firmware_download/dialog_logic.h"
#include "firmware_download/firmware_protocol.h"
#include "firmware_download/messages.h"
#include "hidlink/device.h"
#include "hidlink/link.h"

namespace firmware_download::win32 {

struct Tool {
    Tool(std::unique_ptr<hidlink::Host> host_in, bool japanese_in)
        : host(std::move(host_in)),
          link(*host, clock, hidlink::Program::firmware_tool),
          session(link, clock),
          japanese(japanese_in),
          texts(messages_for(japanese_in)) {}

    HINSTANCE instance = nullptr;
    common::SteadyClock clock;
    std::unique_ptr<hidlink::Host> host;
    hidlink::Link link;
    FirmwareSession session;
    bool japanese = false;
    const Messages& texts;
    common::win32::SingleInstance* instance_guard = nullptr;  // held by main

    // Graphical mode.
    OperationMode operation = OperationMode::update;
    std::string file_name;  // ANSI, taken by Run
    std::string date_text;  // ANSI, taken from the date box after a download
    DownloadResult download_result = DownloadResult::declined;
    HWND notice = nullptr;
    HWND progress_dialog = nullptr;  // set before the worker starts, cleared after it reported
};

// Graphical mode: the main dialog; returns the exit code.
int run_gui(Tool& tool);

}  // namespace firmware_download::win32
