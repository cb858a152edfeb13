#pragma once
// TAVSET's module-wide state: one object, created by WinMain, used by the hidden main window
// and the settings dialog.
#include <windows.h>

#include <memory>

#include "common/clock.h"
#include "hidlink/device.h"
#include "hidlink/link.h"
#include "settings_tool/messages.h"
#include "settings_tool/settings_protocol.h"

namespace settings_tool::win32 {

struct Tool {
    explicit Tool(std::unique_ptr<hidlink::Host> host_in)
        : host(std::move(host_in)), link(*host, clock), session(link) {}

    HINSTANCE instance = nullptr;
    common::SteadyClock clock;
    std::unique_ptr<hidlink::Host> host;
    hidlink::Link link;
    SettingsSession session;
    bool japanese = false;
    const Messages* texts = &messages_for(false);
};

// Runs the settings dialog modally, owned by the hidden main window.
void run_settings_dialog(Tool& tool, HWND owner);

}  // namespace settings_tool::win32
