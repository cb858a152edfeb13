#pragma once
// Where a wave buzzer call sounds (the computer's wave files or the keyboard's buzzer), which
// wave file it plays, and the files the library looks for beside the running program.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace buzzer_library {

constexpr const char* sound_selection_file = "ReedBeep.ini";
constexpr const char* sound_selection_section = "Speaker";
constexpr const char* sound_selection_key = "SelectSound";
constexpr const char* check_tool_file = "TAVBuzzChk.exe";
// The check tool's hidden window, by which the library finds it.
constexpr const char* check_tool_window_class = "TAVBuzzerChk:MAIN";
constexpr const char* check_tool_window_name = "TAVBUZZERCHK";
// Longest path the library builds, the terminator included.
constexpr std::size_t max_path_length = 260;

enum class SoundOutput { keyboard, computer };

// No selection file: the keyboard. A file whose value is missing counts as 0: the computer.
SoundOutput choose_sound_output(bool file_exists, int select_sound);

struct WaveSound {
    const char* file = nullptr;  // a bare file name, no folder
    bool loop = false;
};
// The wave file and loop mode for an accepted pattern (0, 1, 2, 255) and sound (0, 1, 2);
// nothing for any other value (sound 255 included: wave playback has no replay).
std::optional<WaveSound> wave_sound(std::int32_t pattern, std::int32_t sound);

// `file_name` in the folder of the executable `executable_path` (cut after its last
// backslash). Both are UTF-8, in which a backslash byte is always a backslash (in a
// double-byte code page it may be the second half of a character). Nothing when the path has
// no folder or the result would not fit in max_path_length UTF-16 characters with its
// terminator: the file then counts as missing.
std::optional<std::string> path_next_to_executable(std::string_view executable_path,
                                                   std::string_view file_name);

}  // namespace buzzer_library
