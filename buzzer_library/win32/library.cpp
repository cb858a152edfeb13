// TVKBDCMD.dll: the six exports over the buzzer_library core, the settings block shared by
// every process that loads the library, and the check tool's start and stop.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <memory>
#include <optional>
#include <string>

// Exported through the .def file, defined here with the header's declarations.
#define TVKBDCMD_API
#include "buzzer_library/TVKBDCMD.h"
#include "buzzer_library/buzzer_commands.h"
#include "buzzer_library/settings_block.h"
#include "buzzer_library/sound_selection.h"
#include "common/clock.h"
#include "common/win32/thread_data.h"
#include "hidlink/link.h"
#include "hidlink/win32/host_factory.h"
#include "hidlink/win32/overlapped_device.h"

namespace {

using buzzer_library::BuzzerCommands;
using buzzer_library::SettingsBlock;

HANDLE shared_mapping = nullptr;
SettingsBlock* shared_block = nullptr;
// When the shared block cannot be had, the process keeps its settings to itself.
SettingsBlock private_block;

SettingsBlock& settings_block() {
    return shared_block != nullptr ? *shared_block : private_block;
}

std::string executable_path() {
    char path[buzzer_library::max_path_length];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return {};  // cut short: no path beside it could be trusted
    }
    return std::string(path, length);
}

class WindowsPlatform : public buzzer_library::Platform {
  public:
    std::string executable_path() override { return ::executable_path(); }

    bool file_exists(const std::string& path) override {
        DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    int profile_int(const std::string& path, const char* section, const char* key,
                    int default_value) override {
        return static_cast<int>(GetPrivateProfileIntA(section, key, default_value, path.c_str()));
    }

    void play_wave(const char* file_name, bool loop) override {
        if (PlaySoundFunction play = play_sound()) {
            play(file_name, nullptr,
                 SND_FILENAME | SND_ASYNC | SND_NODEFAULT | (loop ? SND_LOOP : 0));
        }
    }

    void stop_sounds() override {
        if (PlaySoundFunction play = play_sound()) {
            play(nullptr, nullptr, 0);
        }
    }

  private:
    using PlaySoundFunction = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);

    // The sound player is loaded on first use and stays for the rest of the process: the check
    // tool loads and frees this library on every device change and never plays a wave file,
    // so it never loads the player, and a player that does not give back everything it took
    // when it is unloaded cannot make any process grow. Runs under the command lock.
    static PlaySoundFunction play_sound() {
        static_assert(sizeof(PlaySoundFunction) == sizeof(void*));
        if (!sound_player_looked_up) {
            sound_player_looked_up = true;
            char path[MAX_PATH];
            UINT length = GetSystemDirectoryA(path, sizeof path);
            if (length > 0 && length < sizeof path - 12) {
                lstrcatA(path, "\\winmm.dll");
                if (HMODULE winmm = LoadLibraryA(path)) {  // never freed, see above
                    sound_player = reinterpret_cast<PlaySoundFunction>(
                        reinterpret_cast<void*>(GetProcAddress(winmm, "PlaySoundA")));
                }
            }
        }
        return sound_player;
    }

    // Plain globals, not guarded statics (see the phase events).
    static inline bool sound_player_looked_up = false;
    static inline PlaySoundFunction sound_player = nullptr;
};

// The process's side of the library, made by its first command.
struct Session {
    std::unique_ptr<hidlink::Host> host = hidlink::make_host();
    common::SteadyClock clock;
    hidlink::Link link{*host, clock};
    WindowsPlatform platform;
    BuzzerCommands commands{link, settings_block(), platform};
};

// Calls from several threads of one client take turns: the link holds one device at a time.
SRWLOCK command_lock = SRWLOCK_INIT;
Session* session = nullptr;

template <class Command>
void run_command(Command command) noexcept {
    AcquireSRWLockExclusive(&command_lock);
    try {
        if (session == nullptr) {
            session = new Session;
        }
        buzzer_library::wait_until_ready(settings_block(), session->clock);
        command(session->commands);
    } catch (...) {
        // Nothing may reach the client: the exports report nothing, success or failure.
    }
    ReleaseSRWLockExclusive(&command_lock);
}

void start_check_tool() {
    std::optional<std::string> tool =
        buzzer_library::path_next_to_executable(executable_path(), buzzer_library::check_tool_file);
    if (!tool) {
        return;
    }
    // The full path as the program to run: a folder with blanks can never start another
    // program. The tool guards itself against a second copy; nothing is waited for.
    std::string command_line = "\"" + *tool + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(tool->c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

void on_process_attach() {
    shared_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(SettingsBlock), buzzer_library::shared_block_name);
    if (shared_mapping != nullptr) {
        shared_block = static_cast<SettingsBlock*>(
            MapViewOfFile(shared_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SettingsBlock)));
        if (shared_block == nullptr) {
            CloseHandle(shared_mapping);
            shared_mapping = nullptr;
        }
    }
    if (shared_block != nullptr) {
        buzzer_library::attach(*shared_block);  // no waiting here: the loader lock is held
    }
    try {
        start_check_tool();
    } catch (...) {
        // Loading never fails because of the check tool.
    }
}

void on_process_detach(bool process_ending) {
    if (shared_block != nullptr && buzzer_library::detach(*shared_block)) {
        HWND tool = FindWindowA(buzzer_library::check_tool_window_class,
                                buzzer_library::check_tool_window_name);
        if (tool != nullptr) {
            PostMessageA(tool, WM_DESTROY, 0, 0);
        }
    }
    if (process_ending) {
        return;  // the system reclaims everything; other threads may have died holding locks
    }
    // Unloaded by FreeLibrary: nothing of ours may outlive the library.
    delete session;
    session = nullptr;
    hidlink::win32::close_phase_events();
    if (shared_block != nullptr) {
        UnmapViewOfFile(shared_block);
        shared_block = nullptr;
    }
    if (shared_mapping != nullptr) {
        CloseHandle(shared_mapping);
        shared_mapping = nullptr;
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            on_process_attach();
            break;
        case DLL_PROCESS_DETACH:
            on_process_detach(reserved != nullptr);
            if (reserved == nullptr) {
                common::win32::release_thread_data_of_this_image(instance);
            }
            break;
        default:
            break;
    }
    return TRUE;  // the check tool never makes loading fail
}

extern "C" {

void TVKBDCMD_CALL BuzzOn(int pattern, int sound) {
    run_command([=](BuzzerCommands& c) { c.buzz_on(pattern, sound); });
}

void TVKBDCMD_CALL BuzzOff(void) {
    run_command([](BuzzerCommands& c) { c.buzz_off(); });
}

void TVKBDCMD_CALL SetKEYClick(int click) {
    run_command([=](BuzzerCommands& c) { c.set_key_click(click); });
}

void TVKBDCMD_CALL DisKEYClick(void) {
    run_command([](BuzzerCommands& c) { c.dis_key_click(); });
}

void TVKBDCMD_CALL WaveBuzzOn(int pattern, int sound) {
    run_command([=](BuzzerCommands& c) { c.wave_buzz_on(pattern, sound); });
}

void TVKBDCMD_CALL WaveBuzzOff(void) {
    run_command([](BuzzerCommands& c) { c.wave_buzz_off(); });
}

}  // extern "C"
