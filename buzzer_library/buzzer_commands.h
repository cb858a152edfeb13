#pragma once
// The library's six commands. Each one is self-contained: it selects the keyboard model,
// opens the keyboard, sends one frame, reads one reply (never examined) and closes it again;
// lasting settings are remembered in the shared settings block so that a replay (255) can
// send them again. Nothing is reported to the caller.
#include <cstdint>
#include <string>

#include "buzzer_library/settings_block.h"
#include "buzzer_library/sound_selection.h"
#include "hidlink/link.h"

namespace buzzer_library {

constexpr const char* phase_event_name = "BuzzeKeyStop";
constexpr std::int16_t sparrow_model = 1;
constexpr std::int16_t reed_model = 2;
constexpr std::int32_t replay = 255;

// What the library needs of the system besides the keyboard.
class Platform {
  public:
    virtual ~Platform() = default;
    // The running program's own file (not the library's), in UTF-8 like every path here;
    // empty when it cannot be had.
    virtual std::string executable_path() = 0;
    virtual bool file_exists(const std::string& path) = 0;
    // GetPrivateProfileInt.
    virtual int profile_int(const std::string& path, const char* section, const char* key,
                            int default_value) = 0;
    // Asynchronous, by bare file name, without a default sound when the file is missing.
    virtual void play_wave(const char* file_name, bool loop) = 0;
    // Every sound this process plays.
    virtual void stop_sounds() = 0;
};

class BuzzerCommands {
  public:
    BuzzerCommands(hidlink::Link& link, SettingsBlock& block, Platform& platform);

    void buzz_on(std::int32_t pattern, std::int32_t sound);
    void buzz_off();
    void set_key_click(std::int32_t click);
    void dis_key_click();
    void wave_buzz_on(std::int32_t pattern, std::int32_t sound);
    void wave_buzz_off();

    SoundOutput sound_output();

  private:
    // The buzzer-on and buzzer-off commands of one keyboard and its pair of saved fields.
    void buzzer_on(std::int16_t model, std::int32_t& pattern_field, std::int32_t& sound_field,
                   std::int32_t pattern, std::int32_t sound);
    void buzzer_off(std::int16_t model, std::int32_t& pattern_field, std::int32_t& sound_field);
    bool open(std::int16_t model);
    // On the open keyboard: one frame out, one reply read and ignored, then close.
    void exchange(const hidlink::Frame& frame);

    hidlink::Link& link_;
    SettingsBlock& block_;
    Platform& platform_;
};

// An argument the commands accept: 0, 1, 2 or the replay value 255.
bool accepted_argument(std::int32_t value);
// The pattern code of the buzzer-on frame for a pattern that is not a replay.
std::uint8_t pattern_code(std::int32_t pattern);

}  // namespace buzzer_library
