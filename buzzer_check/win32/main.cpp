// TAVBuzzChk.exe: a hidden tool window that, after every device change, loads TVKBDCMD.dll
// and lets it send the saved settings again. Started by the library; ended when the last
// client has gone (the library sets an event, or an older one posts WM_DESTROY) and no client
// has come since, or by the end of the session.
#include <windows.h>

#include <optional>

#include "buzzer_check/check_tool.h"
#include "buzzer_library/settings_block.h"
#include "common/win32/single_instance.h"

namespace {

using buzzer_check::Action;

std::optional<common::win32::SingleInstance> instance_guard;
HANDLE clients_gone = nullptr;

// The library as one replay binds it: loaded by its plain name (the normal search order, so
// the copy beside this program), freed again before the replay ends.
class LoadedLibrary : public buzzer_check::Library {
  public:
    using PatternSound = void(WINAPI*)(int, int);
    using Click = void(WINAPI*)(int);

    bool load() override {
        module_ = LoadLibraryA(buzzer_check::library_file);
        return module_ != nullptr;
    }
    bool has_export(const char* name) override {
        FARPROC found = GetProcAddress(module_, name);
        if (lstrcmpA(name, "SetKEYClick") == 0) {
            set_key_click_ = reinterpret_cast<Click>(reinterpret_cast<void*>(found));
        } else if (lstrcmpA(name, "WaveBuzzOn") == 0) {
            wave_buzz_on_ = reinterpret_cast<PatternSound>(reinterpret_cast<void*>(found));
        } else if (lstrcmpA(name, "BuzzOn") == 0) {
            buzz_on_ = reinterpret_cast<PatternSound>(reinterpret_cast<void*>(found));
        }
        return found != nullptr;
    }
    void wave_buzz_on(std::int32_t pattern, std::int32_t sound) override {
        wave_buzz_on_(pattern, sound);
    }
    void buzz_on(std::int32_t pattern, std::int32_t sound) override { buzz_on_(pattern, sound); }
    void set_key_click(std::int32_t click) override { set_key_click_(click); }
    void free() override {
        FreeLibrary(module_);
        module_ = nullptr;
    }

  private:
    HMODULE module_ = nullptr;
    PatternSound wave_buzz_on_ = nullptr;
    PatternSound buzz_on_ = nullptr;
    Click set_key_click_ = nullptr;
};

// The library's attach count as the shared settings block holds it; false when no process
// has the library loaded (the block exists only while one has).
bool read_attach_count(std::int32_t& count) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, buzzer_library::shared_block_name);
    if (mapping == nullptr) {
        return false;
    }
    auto* block = static_cast<buzzer_library::SettingsBlock*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(buzzer_library::SettingsBlock)));
    bool read = block != nullptr;
    if (read) {
        count = buzzer_library::load(block->attach_count);
        UnmapViewOfFile(block);
    }
    CloseHandle(mapping);
    return read;
}

bool clients_counted() {
    std::int32_t count = 0;
    bool block_exists = read_attach_count(count);
    return buzzer_check::clients_remain(block_exists, count);
}

// The name is given up before the last look at the count: a client loading the library at
// this moment is either seen then, or its copy of the tool finds the name free and runs. Seen,
// this copy takes the name back and stays, unless that copy has it already.
void end_unless_clients() {
    if (clients_counted()) {
        return;
    }
    instance_guard.reset();
    if (clients_counted()) {
        instance_guard.emplace(buzzer_check::mutex_name);
        if (!instance_guard->another_instance_runs()) {
            return;
        }
        instance_guard.reset();
    }
    PostQuitMessage(0);
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (buzzer_check::action_for(message, wparam)) {
        case Action::replay: {
            LoadedLibrary library;
            buzzer_check::replay_saved_settings(library);
            break;
        }
        case Action::end_unless_clients:
            end_unless_clients();
            break;
        case Action::quit:
            instance_guard.reset();
            PostQuitMessage(0);
            break;
        case Action::none:
            break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Messages, and the library's event that the last client has gone.
int run_message_loop() {
    for (;;) {
        DWORD handles = clients_gone != nullptr ? 1 : 0;
        DWORD woke =
            MsgWaitForMultipleObjects(handles, &clients_gone, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_FAILED) {
            return 0;
        }
        if (handles == 1 && woke == WAIT_OBJECT_0) {
            end_unless_clients();
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Created and tested in one step: two copies started at once never both run.
    instance_guard.emplace(buzzer_check::mutex_name);
    if (instance_guard->another_instance_runs()) {
        return 0;
    }
    // Before the first look at the count: a last client leaving after it sets an event that
    // is already there, so the signal waits for the loop.
    clients_gone = CreateEventA(nullptr, FALSE, FALSE, buzzer_library::clients_gone_event_name);

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    window_class.lpszClassName = buzzer_check::window_class;
    if (RegisterClassA(&window_class) == 0) {
        return 0;
    }
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, buzzer_check::window_class,
                                  buzzer_check::window_name, WS_POPUP, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;  // without its window nobody could reach or end it: do not hold the name
    }
    ShowWindow(window, SW_HIDE);
    if (!clients_counted()) {
        return 0;
    }
    return run_message_loop();
}
