#pragma once
// Starting an edit from a key map that already exists: a key map table file or the key map
// read from the keyboard. The key map holds key codes and attributes only, so every key
// position becomes a single key.
#include <span>
#include <string_view>

#include "keymap_editor/keymap_layout.h"
#include "keymap_editor/model.h"

namespace keymap_editor {

enum class ImportResult {
    loaded,
    form_wrong,      // not a key map table file of 24 T lines
    attribute_wrong  // an attribute byte with a bit no key can carry
};

// Replaces `model` with the key codes and attributes of `keymap` (the inverse of
// build_keymap, for the bytes it fills), every key single, J1 current. Key codes are taken
// as they are; an attribute with a bit of attribute::never_set is refused, since a listing
// saved from it would not open again. A refused key map leaves `model` as it was.
ImportResult model_from_keymap(std::span<const std::uint8_t, keymap_size> keymap,
                               KeymapModel& model);

// The same from the text of a key map table file.
ImportResult import_table(std::string_view text, KeymapModel& model);

}  // namespace keymap_editor
