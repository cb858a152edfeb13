#pragma once
// The key map model of the Sparrow POS Keyboard: 88 key positions in nine rows (A … H of ten
// columns, J of eight, from the bottom up), each with a key code, an attribute, a size code
// and an owner, and the editing operations on it. Ganged keys are the bottom-right position of
// the block they cover; the other positions of the block are absorbed.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keymap_editor {

constexpr int key_count = 88;
constexpr std::uint8_t no_owner = 0xFF;
constexpr int j1 = 80;

namespace attribute {
constexpr std::uint8_t ctrl = 0x01;
constexpr std::uint8_t shift = 0x02;
constexpr std::uint8_t alt = 0x04;
constexpr std::uint8_t repeat = 0x10;
constexpr std::uint8_t never_set = 0xE8;  // 0x08, 0x20, 0x40, 0x80
}  // namespace attribute

namespace size_code {
constexpr std::uint8_t single = 0;      // 1x1
constexpr std::uint8_t horizontal = 1;  // 2x1: this position and its left neighbour
constexpr std::uint8_t vertical = 2;    // 1x2: this position and the one above
constexpr std::uint8_t square = 4;      // 2x2
}  // namespace size_code

struct KeyRecord {
    std::uint8_t keycode = 0;
    std::uint8_t attribute = 0;
    std::uint8_t size = 0;
    std::uint8_t owner = no_owner;
};

// Key index from row (0 = A … 7 = H, 8 = J) and column (1 … 10, 1 … 8 in row J).
constexpr int key_index(int row, int column) {
    return row < 8 ? 10 * row + column - 1 : 80 + column - 1;
}
constexpr int row_of(int k) {
    return k < 80 ? k / 10 : 8;
}
constexpr int column_of(int k) {
    return k < 80 ? k % 10 + 1 : k - 80 + 1;
}
// "A01" … "H10", "J01" … "J08".
std::string key_label(int k);

std::optional<int> left_of(int k);
std::optional<int> above(int k);
std::optional<int> above_left(int k);

// The block a key of size code `size` at `k` covers: `absorbed` are its other positions (none
// for a size code that gangs nothing), `top_left` its top-left cell. Nothing when the block
// would leave the layout. Ganging, the key buttons and the listing loader all read it here.
struct GangBlock {
    int top_left;
    std::vector<int> absorbed;
};
std::optional<GangBlock> gang_block(int k, std::uint8_t size);

enum class SizeChoice { single, horizontal, vertical, square };
enum class SizeOutcome { done, no_room, not_null_function, already_ganged };

// The size box that shows a size code (anything unknown shows as a single key).
SizeChoice size_choice_of(std::uint8_t size);

enum class AttributeBox { ordinary, repeat, shift, ctrl, alt };
// The five attribute check boxes, in the order of AttributeBox.
struct AttributeBoxes {
    bool ordinary = true, repeat = false, shift = false, ctrl = false, alt = false;
    bool& operator[](AttributeBox box);
    bool operator==(const AttributeBoxes&) const = default;
};
// The boxes that show an attribute: each box whose bit is set, Ordinary for 0.
AttributeBoxes attribute_boxes_of(std::uint8_t attribute);

enum class Direction { left, right, up, down };

class KeymapModel {
  public:
    KeymapModel() { reset(); }

    // Every record cleared, J1 the current key.
    void reset();

    const KeyRecord& record(int k) const { return records_[k]; }
    KeyRecord& record(int k) { return records_[k]; }
    int current() const { return current_; }

    // Owner 0xFF or a ganged key; absorbed positions are never selectable.
    bool selectable(int k) const;
    void select(int k) { current_ = k; }

    // The current key's key code from the list box selection; a selection outside the list
    // (none, or past its end) changes nothing and returns false.
    bool set_keycode(int list_selection, std::size_t list_size);

    // After the user toggled `box` to `checked`: corrects the boxes and the current key's
    // attribute so that they stay consistent.
    void toggle_attribute(AttributeBox box, bool checked, AttributeBoxes& boxes);

    // Gangs or ungangs the current key; a refusal changes nothing.
    SizeOutcome set_size(SizeChoice choice);

    // The first selectable position reached from the current key, or nothing.
    std::optional<int> navigate(Direction direction) const;

    // The cells a position's button covers: the top-left and the bottom-right key index.
    struct Span {
        int top_left;
        int bottom_right;
    };
    Span button_span(int k) const;

  private:
    std::array<KeyRecord, key_count> records_{};
    int current_ = j1;
};

}  // namespace keymap_editor
