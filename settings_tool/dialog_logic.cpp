#include "settings_tool/dialog_logic.h"

namespace settings_tool {

std::uint32_t probe_models(SettingsSession& session) {
    for (std::int16_t model : probe_order) {
        session.model_selector = model;
        std::uint32_t result = session.read_all();
        if (result != get_not_found) {
            return result;
        }
    }
    return get_not_found;
}

std::vector<const char*> read_failure_messages(std::uint32_t get_result, const Messages& texts) {
    std::vector<const char*> shown;
    if (get_result == get_not_found) {
        return shown;
    }
    const struct {
        std::uint32_t bit;
        const char* text;
    } in_order[] = {
        {get_msr_type_failed, texts.msr_type_failed},
        {get_key_lockout_failed, texts.key_lockout_failed},
        {get_key_input_failed, texts.key_input_failed},
        {get_op_key_failed, texts.op_key_failed},
    };
    for (const auto& entry : in_order) {
        if ((get_result & entry.bit) != 0) {
            shown.push_back(entry.text);
        }
    }
    return shown;
}

const char* write_result_message(std::uint32_t set_result, const Messages& texts) {
    switch (set_result) {
        case set_ok:
            return nullptr;
        case set_not_found:
            return texts.not_found;
        default:
            return texts.set_failed;
    }
}

const char* msr_type_text(std::uint16_t msr_type) {
    switch (msr_type) {
        case 4:
            return msr_text_iso;
        case 3:
            return msr_text_jis;
        default:
            return msr_text_none;
    }
}

ModelView model_view(std::int16_t model_selector, const SettingsValues& values,
                     std::uint32_t unread) {
    auto was_read = [unread](Item item) { return (unread & failure_bit(item)) == 0; };
    const bool has_key_input =
        model_selector == sparrow_selector || model_selector == reed_selector;
    const bool has_op_key = model_selector == sparrow_selector;
    ModelView view;
    view.model_button = model_selector;
    view.msr_text = msr_type_text(values.msr_type);
    view.key_lockout_enabled = was_read(Item::key_lockout);
    view.roll_over = values.key_lockout != 0;
    view.key_input_enabled = has_key_input && was_read(Item::key_input);
    view.typematic_ticked = has_key_input && values.key_input != 0;
    view.op_key_enabled = has_op_key && was_read(Item::op_key);
    view.op_key_ticked = has_op_key && values.op_key != 255;
    return view;
}

void choose_key_lockout(SettingsValues& values, bool roll_over) {
    values.key_lockout = roll_over ? 1 : 0;
}

void tick_op_key(SettingsValues& values, bool ticked) {
    values.op_key = ticked ? 1 : 255;
}

void tick_typematic(SettingsValues& values, bool ticked) {
    values.key_input = ticked ? 1 : 0;
}

bool apply_enabled_after(DialogEvent event) {
    return event == DialogEvent::setting_changed;
}

}  // namespace settings_tool
