// Lexmap: the key map editor of the Sparrow POS Keyboard. A GUI program without command-line
// options: settings, display font and key code list first, then the single-instance guard,
// then the editor window.
#include <windows.h>
// windows.h first: the others depend on it.
#include <commctrl.h>

#include <optional>
#include <string>

#include "common/win32/console.h"
#include "common/win32/single_instance.h"
#include "common/win32/wide_text.h"
#include "keymap_editor/keycode_list.h"
#include "keymap_editor/messages.h"
#include "keymap_editor/settings.h"
#include "keymap_editor/win32/editor.h"

namespace {

using namespace keymap_editor;

// The program's own path in the ANSI code page; empty when it does not fit a path.
std::string program_path() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return std::string(path, length);
}

// The settings file through the private-profile functions; a value that the file does not
// give is told apart from an empty one by a default no file can hold.
ProfileLookup settings_file(const std::string& path) {
    return [path](std::string_view section, std::string_view key) -> std::optional<std::string> {
        constexpr const char* missing = "\x01\x02missing\x02\x01";
        char value[max_text + 1] = {};
        GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(), missing,
                                 value, sizeof value, path.c_str());
        if (std::string(value) == missing) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

void show_error(const char* text, const char* caption) {
    MessageBoxW(nullptr, common::win32::from_utf8(text).c_str(),
                common::win32::from_utf8(caption).c_str(), MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    common::win32::hide_console_of_this_process_alone();

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    const unsigned code_page = GetACP();
    const bool shift_jis = code_page == 932;
    const std::string program = program_path();
    const EditorSettings settings =
        read_settings(code_page, settings_file(settings_path(program, shift_jis)));
    const Messages& texts = messages_for(settings.japanese);

    const FontSpec& font = settings.font;
    HFONT display_font = CreateFontA(font.height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                                     static_cast<BYTE>(font.charset), OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, static_cast<BYTE>(font.quality),
                                     DEFAULT_PITCH | FF_DONTCARE, font.face.c_str());

    KeycodeList list;
    const std::optional<std::string> list_path =
        program.empty() ? std::nullopt
                        : keycode_list_path(program, settings.keycode_list_name, shift_jis);
    if (!list_path || !list.load(*list_path, shift_jis)) {
        show_error(list_not_found_text, texts.caption);
        return list_missing_exit_code;
    }

    common::win32::SingleInstance guard(instance_mutex_name);
    if (guard.another_instance_runs()) {
        return second_instance_exit_code;
    }
    // High, not real-time: a real-time process run by an administrator outranks the system's
    // input and disk threads, and its file dialogs' shell work could freeze the till PC.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);

    win32::StartInfo start;
    start.instance = instance;
    start.japanese = settings.japanese;
    start.shift_jis = shift_jis;
    start.list = &list;
    start.font = display_font;
    if (win32::run_editor(start) == -1) {
        show_error(texts.dialog_failed, texts.caption);
    }
    win32::remove_hooks();
    if (display_font != nullptr) {
        DeleteObject(display_font);
    }
    return 0;
}
