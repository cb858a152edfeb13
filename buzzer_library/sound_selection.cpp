#include "buzzer_library/sound_selection.h"

namespace buzzer_library {

SoundOutput choose_sound_output(bool file_exists, int select_sound) {
    if (!file_exists || select_sound != 0) {
        return SoundOutput::keyboard;
    }
    return SoundOutput::computer;
}

std::optional<WaveSound> wave_sound(std::int32_t pattern, std::int32_t sound) {
    static const char* const set_a[] = {"TvBz06A.wav", "TvBz12A.wav", "TvBz24A.wav"};
    static const char* const set_b[] = {"TvBz06B.wav", "TvBz12B.wav", "TvBz24B.wav"};
    if (sound < 0 || sound > 2) {
        return std::nullopt;
    }
    switch (pattern) {
        case 0:
            return WaveSound{set_b[sound], false};
        case 1:
        case 255:
            return WaveSound{set_b[sound], true};
        case 2:
            return WaveSound{set_a[sound], true};
        default:
            return std::nullopt;
    }
}

namespace {

// The length of UTF-8 text in UTF-16 characters, the unit of Windows' path limit: one per
// sequence, two for those beyond the basic plane (a four-byte sequence).
std::size_t utf16_length(std::string_view text) {
    std::size_t length = 0;
    for (unsigned char byte : text) {
        if ((byte & 0xC0) != 0x80) {
            length += byte >= 0xF0 ? 2 : 1;
        }
    }
    return length;
}

}  // namespace

std::optional<std::string> path_next_to_executable(std::string_view executable_path,
                                                   std::string_view file_name) {
    std::size_t cut = executable_path.rfind('\\');
    if (cut == std::string_view::npos) {
        return std::nullopt;  // a bare name would be looked up in the current folder
    }
    std::string path(executable_path.substr(0, cut + 1));
    path += file_name;
    if (utf16_length(path) + 1 > max_path_length) {
        return std::nullopt;
    }
    return path;
}

}  // namespace buzzer_library
