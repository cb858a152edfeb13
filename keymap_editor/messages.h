#pragma once
// Every text Lexmap shows, English and Japanese (UTF-8; the shell converts them for the W
// APIs), and the guide text that goes with the focused control.
namespace keymap_editor {

struct Messages {
    const char* caption;  // of every message box and of the editor window
    const char* applied;
    const char* dialog_failed;
    const char* apply_failed;
    const char* no_room;
    const char* not_null_function;
    const char* already_ganged;
    const char* open_failed;
    const char* form_wrong;
    const char* create_failed;
    const char* confirm_lost;   // before New and Exit
    const char* confirm_apply;  // before Keymap Change
    const char* setting_now;    // the setting dialog's text
    const char* new_file;       // the file name label after New
    const char* guide_keycode;
    const char* guide_attribute;
    const char* guide_size;
    const char* read_failed;          // Read from keyboard: no key map came
    const char* keymap_not_editable;  // an attribute no key can carry
    // Shown by Windows beside the setting dialog while it refuses a log-off or shutdown.
    const char* session_end_reason;
};

const Messages& messages_for(bool japanese);

// English only, shown in both languages.
constexpr const char* list_not_found_text = "The key code list is not found.";

constexpr const char* instance_mutex_name = "082F5E00-C13F-5A3A-B20A-4389590B4982";
constexpr int second_instance_exit_code = 3;
constexpr int list_missing_exit_code = 3;

enum class FocusKind { keycode_list, attribute_box, size_box, other };
// The guide text for the focused control; nullptr leaves the guide text as it is.
const char* guide_text(const Messages& messages, FocusKind focus);

}  // namespace keymap_editor
