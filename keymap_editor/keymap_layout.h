#pragma once
// The 192-byte key map of the Sparrow POS Keyboard built from the model: key codes by column
// from column 10 down to column 2 (rows A … H), then column 1 and row J; the attributes in the
// same order 0x58 bytes later; sixteen 0xFF bytes at the end.
#include <array>
#include <cstdint>

#include "keymap_editor/model.h"

namespace keymap_editor {

constexpr std::size_t keymap_size = 192;
constexpr std::size_t attribute_offset = 0x58;
using Keymap = std::array<std::uint8_t, keymap_size>;

// The key map byte that holds a position's key code (its attribute is 0x58 further).
int keycode_byte(int k);

Keymap build_keymap(const KeymapModel& model);

}  // namespace keymap_editor
