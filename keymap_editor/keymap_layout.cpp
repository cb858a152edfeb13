#include "keymap_editor/keymap_layout.h"

namespace keymap_editor {

namespace {
// Bytes 0x48 … 0x57: A1 B1 C1 D1 E1 J8 J7 J6 J5 F1 G1 H1 J1 J2 J3 J4.
constexpr int tail[16] = {0, 10, 20, 30, 40, 87, 86, 85, 84, 50, 60, 70, 80, 81, 82, 83};
}  // namespace

int keycode_byte(int k) {
    for (int i = 0; i < 16; ++i) {
        if (tail[i] == k) {
            return 0x48 + i;
        }
    }
    // Rows A … H, columns 10 … 2: byte 8 × (10 − column) + row.
    return 8 * (10 - column_of(k)) + row_of(k);
}

Keymap build_keymap(const KeymapModel& model) {
    Keymap keymap;
    for (std::size_t i = 0; i < keymap_size; ++i) {
        keymap[i] = i < attribute_offset ? 0xFF : i < 0xB0 ? 0x00 : 0xFF;
    }
    for (int k = 0; k < key_count; ++k) {
        const int byte = keycode_byte(k);
        keymap[byte] = model.record(k).keycode;
        keymap[byte + attribute_offset] = model.record(k).attribute;
    }
    return keymap;
}

}  // namespace keymap_editor
