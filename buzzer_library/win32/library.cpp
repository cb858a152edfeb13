// TVKBDCMD.dll: the six exports over the buzzer_library core, the settings block shared by
// every process that loads the library, and the check tool's start and stop.
//
// The library lives inside other companies' programs, which load it from any thread, from
// another library's attach, once or per call. So DllMain only counts, creates and sets kernel
// objects: the check tool is started by a short thread of ours once the loader lock is free,
// and the last client tells the tool to go by an event, not by a window message.
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
#include "buzzer_library/win32/runtime_thread_record.h"
#include "common/clock.h"
#include "common/win32/thread_data.h"
#include "common/win32/wide_text.h"
#include "hidlink/link.h"
#include "hidlink/win32/host_factory.h"
#include "hidlink/win32/overlapped_device.h"

// libstdc++'s own hook (declared in none of its headers) that frees what its startup set
// aside for good: the emergency pool for exceptions thrown while memory is short.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

using buzzer_library::BuzzerCommands;
using buzzer_library::SettingsBlock;
using common::win32::from_utf8;

HANDLE shared_mapping = nullptr;
SettingsBlock* shared_block = nullptr;
// When the shared block cannot be had, the process keeps its settings to itself.
SettingsBlock private_block;
HANDLE clients_gone = nullptr;

SettingsBlock& settings_block() {
    return shared_block != nullptr ? *shared_block : private_block;
}

// In UTF-8: the ANSI form of a Japanese path can hold backslash bytes inside characters, and
// may not be able to name the file at all.
std::string executable_path() {
    wchar_t path[buzzer_library::max_path_length];
    DWORD length = GetModuleFileNameW(nullptr, path, buzzer_library::max_path_length);
    if (length == 0 || length >= buzzer_library::max_path_length) {
        return {};  // cut short: no path beside it could be trusted
    }
    return common::win32::to_utf8(std::wstring_view(path, length));
}

class WindowsPlatform : public buzzer_library::Platform {
  public:
    std::string executable_path() override { return ::executable_path(); }

    bool file_exists(const std::string& path) override {
        DWORD attributes = GetFileAttributesW(from_utf8(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    int profile_int(const std::string& path, const char* section, const char* key,
                    int default_value) override {
        return static_cast<int>(GetPrivateProfileIntW(from_utf8(section).c_str(),
                                                      from_utf8(key).c_str(), default_value,
                                                      from_utf8(path).c_str()));
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
    std::wstring program = from_utf8(*tool);
    std::wstring command_line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// Holds its own reference to the library, taken at attach, so a client that frees the library
// at once does not unload the code this thread runs; the library goes with the thread.
DWORD WINAPI check_tool_starter(void* library) {
    try {
        start_check_tool();
    } catch (...) {
        // Loading never fails because of the check tool.
    }
    FreeLibraryAndExitThread(static_cast<HMODULE>(library), 0);
}

// Starting a program under the loader lock can deadlock the loading program (the new
// process's start and other threads' loads wait for it). The thread created here runs once
// the attach is over.
void start_check_tool_after_attach() {
    HMODULE library = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&private_block), &library)) {
        return;
    }
    // A small stack: it runs one CreateProcess inside someone else's program.
    constexpr SIZE_T stack_bytes = 64 * 1024;
    HANDLE thread = CreateThread(nullptr, stack_bytes, check_tool_starter, library,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        FreeLibrary(library);  // only the reference just taken: the client's load keeps it
        return;
    }
    CloseHandle(thread);
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
    clients_gone = CreateEventA(nullptr, FALSE, FALSE, buzzer_library::clients_gone_event_name);
    start_check_tool_after_attach();
}

void on_process_detach(bool process_ending) {
    // Setting an event waits for nothing and loads nothing: safe even while the process ends.
    if (shared_block != nullptr && buzzer_library::detach(*shared_block) &&
        clients_gone != nullptr) {
        SetEvent(clients_gone);
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
    if (clients_gone != nullptr) {
        CloseHandle(clients_gone);
        clients_gone = nullptr;
    }
    // The pool is made by the runtime's start in this image, once per load; a program that
    // loads the library per call would otherwise grow by it every time.
    __gnu_cxx::__freeres();
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            DisableThreadLibraryCalls(instance);
            on_process_attach();
            buzzer_library::win32::note_runtime_thread_record();
            // The runtime's start just made thread data for the loading thread; the unload
            // may come on another thread (the check tool's starter), which gives back only
            // its own. So the loading thread's goes now.
            common::win32::release_thread_data_of_this_image(instance);
            break;
        case DLL_PROCESS_DETACH:
            on_process_detach(reserved != nullptr);
            if (reserved == nullptr) {
                common::win32::release_thread_data_of_this_image(instance);
                buzzer_library::win32::free_runtime_thread_record();
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
