#pragma once
// The decisions of TAVSET's settings dialog: finding the attached model, the messages of a
// read or write, what each control shows per model, and the Apply button's state. The Win32
// shell calls these and shows their results.
#include <array>
#include <cstdint>
#include <vector>

#include "settings_tool/messages.h"
#include "settings_tool/settings_protocol.h"

namespace settings_tool {

// Private window messages: the hidden main window opens the dialog on WM_USER + 0x100; the
// dialog shows "keyboard not found" on WM_USER + 0x101, once a model command has been handled.
constexpr unsigned open_dialog_message_offset = 0x100;
constexpr unsigned not_found_message_offset = 0x101;

// The models tried when the dialog opens, in order.
constexpr std::array<std::int16_t, 3> probe_order = {reed_selector, larch_selector,
                                                     sparrow_selector};

// Sets the session's model selector to each model of probe_order in turn and reads all its
// settings, until a keyboard is found. Returns the get result of the model found (its
// selector stays set), or get_not_found when none answered.
std::uint32_t probe_models(SettingsSession& session);

// The messages of a get result other than "not found", one per failed item in the order
// MSR type, key lockout, key input, OP key.
std::vector<const char*> read_failure_messages(std::uint32_t get_result, const Messages& texts);
// The message of a set result; null for success.
const char* write_result_message(std::uint32_t set_result, const Messages& texts);

// 4 "ISO 1/2/3", 3 "JIS 1/2", anything else "Not connection ".
const char* msr_type_text(std::uint16_t msr_type);

// What the dialog shows for a model and the values held. The controls of an item whose last
// read failed (`unread`: get result bits) show the value held but are disabled, since that
// item is not written.
struct ModelView {
    std::int16_t model_button = reed_selector;  // the one selected model button
    const char* msr_text = msr_text_jis;
    bool key_lockout_enabled = false;
    bool roll_over = false;  // key lockout: the roll-over button, else the two-key button
    bool op_key_enabled = false;
    bool op_key_ticked = false;
    bool key_input_enabled = false;
    bool typematic_ticked = false;
};
ModelView model_view(std::int16_t model_selector, const SettingsValues& values,
                     std::uint32_t unread);

// The user's changes: the value each control stores.
void choose_key_lockout(SettingsValues& values, bool roll_over);  // 1 or 0
void tick_op_key(SettingsValues& values, bool ticked);            // 1 or 255
void tick_typematic(SettingsValues& values, bool ticked);         // 1 or 0

// The Apply button: enabled by a change of a setting, disabled after opening, after a model
// change and after Apply.
enum class DialogEvent { opened, model_changed, setting_changed, applied };
bool apply_enabled_after(DialogEvent event);

}  // namespace settings_tool
