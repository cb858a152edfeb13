#include "buzzer_check/check_tool.h"

namespace buzzer_check {

namespace {
constexpr std::int32_t replay = 255;
}

Action action_for(unsigned message, std::uintptr_t wparam) {
    switch (message) {
        case device_change_message:
            return Action::replay;
        case destroy_message:
            return Action::end_unless_clients;
        case end_session_message:
            return wparam != 0 ? Action::quit : Action::none;
        default:
            return Action::none;
    }
}

bool clients_remain(bool block_exists, std::int32_t attach_count) {
    return block_exists && attach_count > 0;
}

void replay_saved_settings(Library& library) {
    if (!library.load()) {
        return;
    }
    if (library.has_export("SetKEYClick") && library.has_export("WaveBuzzOn") &&
        library.has_export("BuzzOn")) {
        library.wave_buzz_on(replay, replay);
        library.buzz_on(replay, replay);
        library.set_key_click(replay);
    }
    library.free();
}

}  // namespace buzzer_check
