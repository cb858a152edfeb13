#pragma once
// TAVBuzzChk's decisions: which window messages it acts on and how a replay binds the buzzer
// library. The Win32 shell only carries them out.
#include <cstdint>

#include "buzzer_library/sound_selection.h"

namespace buzzer_check {

constexpr const char* mutex_name = "3CAF49DD-7123-11d3-AA22-53A8C6B35249";
constexpr const char* window_class = buzzer_library::check_tool_window_class;
constexpr const char* window_name = buzzer_library::check_tool_window_name;
constexpr const char* library_file = "TVKBDCMD.dll";

// The window messages it acts on, by their Windows values.
constexpr unsigned destroy_message = 0x0002;        // WM_DESTROY, posted by the library
constexpr unsigned end_session_message = 0x0016;    // WM_ENDSESSION
constexpr unsigned device_change_message = 0x0219;  // WM_DEVICECHANGE

enum class Action { none, replay, end_unless_clients, quit };

// WM_DESTROY (from a library that posts it) ends the tool only when no client is counted: a
// client that loaded the library since the last one left keeps it, since its own copy of the
// tool was turned away by this one's mutex. The library's "clients gone" event is handled the
// same way. WM_ENDSESSION quits only when the session really ends (wParam TRUE), not when the
// log-off or shutdown was cancelled.
Action action_for(unsigned message, std::uintptr_t wparam);

// Once its window exists: whether any process still has the library loaded. A copy of the
// tool that a client's load started may get going only after the tool it was meant for has
// ended (its last client gone); without a client it must end at once, or it would run for
// ever, since nobody is left to tell it to close. Checked after the window is created, so a
// last client leaving at the same moment either finds the window or is seen gone here.
bool clients_remain(bool block_exists, std::int32_t attach_count);

// The library as one replay binds it: loaded by its file name, its exports looked up by name,
// freed again.
class Library {
  public:
    virtual ~Library() = default;
    virtual bool load() = 0;
    virtual bool has_export(const char* name) = 0;
    virtual void wave_buzz_on(std::int32_t pattern, std::int32_t sound) = 0;
    virtual void buzz_on(std::int32_t pattern, std::int32_t sound) = 0;
    virtual void set_key_click(std::int32_t click) = 0;
    virtual void free() = 0;
};

// Loads the library; when "SetKEYClick", "WaveBuzzOn" and "BuzzOn" are all there, asks each
// for its saved setting (the replay value 255) in the order wave buzzer, buzzer, key click;
// frees the library again whenever it was loaded.
void replay_saved_settings(Library& library);

}  // namespace buzzer_check
