// TAVSET: the settings tool. A hidden main window opens the settings dialog; when the dialog
// ends, the program ends with exit code 0. No command line, no console.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>

#include "common/win32/single_instance.h"
#include "common/win32/wide_text.h"
#include "hidlink/win32/host_factory.h"
#include "settings_tool/dialog_logic.h"
#include "settings_tool/win32/resource.h"
#include "settings_tool/win32/tool.h"

namespace {

using settings_tool::win32::Tool;

constexpr UINT open_dialog_message = WM_USER + settings_tool::open_dialog_message_offset;

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return 0;
        }
        case open_dialog_message: {
            auto* tool = reinterpret_cast<Tool*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            settings_tool::win32::run_settings_dialog(*tool, window);
            DestroyWindow(window);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND create_main_window(Tool& tool) {
    const std::wstring class_name = common::win32::from_utf8(settings_tool::main_window_class);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = tool.instance;
    wc.hIcon = LoadIconW(tool.instance, MAKEINTRESOURCEW(IDI_TAVSET));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = class_name.c_str();
    RegisterClassExW(&wc);
    return CreateWindowExW(0, class_name.c_str(),
                           common::win32::from_utf8(settings_tool::main_window_title).c_str(),
                           WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, tool.instance, &tool);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    common::win32::SingleInstance guard(settings_tool::instance_mutex_name);
    if (guard.another_instance_runs()) {
        return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    Tool tool(hidlink::make_host());
    tool.instance = instance;
    HWND main_window = create_main_window(tool);
    if (main_window == nullptr) {
        return 0;
    }
    tool.japanese = settings_tool::japanese_from_code_page(GetACP());
    tool.texts = &settings_tool::messages_for(tool.japanese);

    PostMessageW(main_window, open_dialog_message, 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
