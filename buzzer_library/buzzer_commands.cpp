#include "buzzer_library/buzzer_commands.h"

namespace buzzer_library {

namespace {

constexpr std::uint8_t click_on_command = 0x02;
constexpr std::uint8_t click_off_command = 0x03;
constexpr std::uint8_t buzzer_on_command = 0x04;
constexpr std::uint8_t buzzer_off_command = 0x05;

hidlink::Frame frame(std::uint8_t command, std::initializer_list<std::uint8_t> payload) {
    return hidlink::make_frame(command,
                               std::span<const std::uint8_t>(payload.begin(), payload.size()));
}

}  // namespace

bool accepted_argument(std::int32_t value) {
    return value == 0 || value == 1 || value == 2 || value == replay;
}

std::uint8_t pattern_code(std::int32_t pattern) {
    switch (pattern) {
        case 1:
            return 2;
        case 2:
            return 4;
        default:
            return 1;  // a one-shot sounding
    }
}

BuzzerCommands::BuzzerCommands(hidlink::Link& link, SettingsBlock& block, Platform& platform)
    : link_(link), block_(block), platform_(platform) {}

bool BuzzerCommands::open(std::int16_t model) {
    link_.model_selector = model;
    return link_.find_and_open();
}

void BuzzerCommands::exchange(const hidlink::Frame& request) {
    // The reply is read so the keyboard's answer does not linger, but never examined: a
    // negative reply or none counts as done.
    link_.begin_phase(phase_event_name);
    link_.write_frame(request, hidlink::default_timeout_ms);
    hidlink::Frame reply{};
    (void)link_.read_frame(reply, hidlink::default_timeout_ms);
    link_.close();
}

void BuzzerCommands::buzzer_on(std::int16_t model, std::int32_t& pattern_field,
                               std::int32_t& sound_field, std::int32_t pattern,
                               std::int32_t sound) {
    if (!accepted_argument(sound) || !accepted_argument(pattern)) {
        return;
    }
    SavedSound saved;
    if (sound == replay) {
        saved = load_sound(pattern_field, sound_field);
        if (!saved.saved()) {
            return;  // nothing to repeat
        }
    }
    if (!open(model)) {
        return;  // no keyboard: the saved fields stay as they were
    }
    std::uint8_t code = 0;
    std::uint8_t sound_byte = 0;
    if (sound == replay) {
        code = saved.pattern == 1 ? 2 : 4;
        sound_byte = static_cast<std::uint8_t>(saved.sound);
    } else {
        store_sound(pattern_field, sound_field, pattern, sound);
        code = pattern_code(pattern);
        sound_byte = static_cast<std::uint8_t>(sound);
    }
    exchange(frame(buzzer_on_command, {code, sound_byte}));
}

void BuzzerCommands::buzzer_off(std::int16_t model, std::int32_t& pattern_field,
                                std::int32_t& sound_field) {
    if (open(model)) {
        exchange(frame(buzzer_off_command, {0x00}));
    }
    // Forgotten even when the keyboard is away: otherwise the check tool would switch the
    // buzzer back on at the next replug, after the program asked for silence.
    store_sound(pattern_field, sound_field, 0, 0);
}

void BuzzerCommands::buzz_on(std::int32_t pattern, std::int32_t sound) {
    buzzer_on(sparrow_model, block_.saved_buzz_pattern, block_.saved_buzz_sound, pattern, sound);
}

void BuzzerCommands::buzz_off() {
    buzzer_off(sparrow_model, block_.saved_buzz_pattern, block_.saved_buzz_sound);
}

void BuzzerCommands::set_key_click(std::int32_t click) {
    if (!accepted_argument(click)) {
        return;
    }
    std::int32_t click_value = click;
    if (click == replay) {
        click_value = load(block_.saved_click);
        if (!accepted_argument(click_value) || click_value == replay) {
            return;  // nothing to repeat
        }
    }
    for (std::int16_t model : {reed_model, sparrow_model}) {
        if (!open(model)) {
            continue;
        }
        if (click != replay) {
            store(block_.saved_click, click);
        }
        exchange(frame(click_on_command, {0x01, static_cast<std::uint8_t>(click_value)}));
    }
}

void BuzzerCommands::dis_key_click() {
    for (std::int16_t model : {reed_model, sparrow_model}) {
        if (open(model)) {
            exchange(frame(click_off_command, {0x00}));
        }
    }
    // Forgotten even when no keyboard was reached, so a replug does not bring the click back.
    store(block_.saved_click, nothing_saved);
}

SoundOutput BuzzerCommands::sound_output() {
    // Looked up afresh on every call: a technician may change the file while programs run.
    std::optional<std::string> path =
        path_next_to_executable(platform_.executable_path(), sound_selection_file);
    if (!path || !platform_.file_exists(*path)) {
        return SoundOutput::keyboard;
    }
    return choose_sound_output(
        true, platform_.profile_int(*path, sound_selection_section, sound_selection_key, 0));
}

void BuzzerCommands::wave_buzz_on(std::int32_t pattern, std::int32_t sound) {
    if (!accepted_argument(sound) || !accepted_argument(pattern)) {
        return;
    }
    if (sound_output() == SoundOutput::keyboard) {
        buzzer_on(reed_model, block_.saved_wave_pattern, block_.saved_wave_sound, pattern, sound);
        return;
    }
    if (std::optional<WaveSound> wave = wave_sound(pattern, sound)) {
        platform_.play_wave(wave->file, wave->loop);
    }
}

void BuzzerCommands::wave_buzz_off() {
    // The selection file may have changed since the wave buzz was started, so whatever may
    // still sound is stopped: this process's wave files (harmless when none plays), and the
    // pad's buzzer when the file chooses it or a lasting wave buzz on it is remembered.
    platform_.stop_sounds();
    if (sound_output() == SoundOutput::keyboard ||
        load_sound(block_.saved_wave_pattern, block_.saved_wave_sound).saved()) {
        buzzer_off(reed_model, block_.saved_wave_pattern, block_.saved_wave_sound);
    }
}

}  // namespace buzzer_library
