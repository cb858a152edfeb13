#include "keymap_editor/apply.h"

#include <algorithm>

namespace keymap_editor {

KeymapApply::KeymapApply(hidlink::Link& link, common::Clock& clock) : session_(link, clock) {
    session_.record = keymap_download::sparrow_record();
    link.model_selector = session_.record.model_selector;
}

void KeymapApply::prepare(const Keymap& keymap, std::string_view date_text) {
    std::copy(keymap.begin(), keymap.end(), session_.file_keymap.begin());
    date_text = date_text.substr(0, std::min(date_text.size(), max_date_text));
    // The field's text ends at its first zero byte, as a window text does.
    date_text_ = std::string(date_text.substr(0, date_text.find('\0')));
}

ApplyResult KeymapApply::write_keymap(const keymap_download::WriteHooks& hooks) {
    if (session_.write_keymap(hooks) != keymap_download::WriteOutcome::ok) {
        return apply_failure;
    }
    session_.pause_before_date_stamp();
    return apply_success;
}

void KeymapApply::send_date_stamp() {
    failed_ = !session_.send_date_stamp(date_text_);
}

bool KeymapApply::read_keymap(Keymap& keymap) {
    if (!session_.read_keymap()) {
        return false;
    }
    std::copy_n(session_.keymap_buffer.begin(), keymap.size(), keymap.begin());
    return true;
}

}  // namespace keymap_editor
