#include "keymap_editor/keymap_import.h"

#include "keymap_download/keymap_table.h"

namespace keymap_editor {

ImportResult model_from_keymap(std::span<const std::uint8_t, keymap_size> keymap,
                               KeymapModel& model) {
    for (int k = 0; k < key_count; ++k) {
        if ((keymap[keycode_byte(k) + attribute_offset] & attribute::never_set) != 0) {
            return ImportResult::attribute_wrong;
        }
    }
    model.reset();
    for (int k = 0; k < key_count; ++k) {
        const int byte = keycode_byte(k);
        model.record(k).keycode = keymap[byte];
        model.record(k).attribute = keymap[byte + attribute_offset];
    }
    return ImportResult::loaded;
}

ImportResult import_table(std::string_view text, KeymapModel& model) {
    Keymap keymap;
    keymap.fill(0xFF);
    if (keymap_download::read_table(text, static_cast<int>(keymap_size / 8), keymap) !=
        keymap_download::TableResult::accepted) {
        return ImportResult::form_wrong;
    }
    return model_from_keymap(keymap, model);
}

}  // namespace keymap_editor
