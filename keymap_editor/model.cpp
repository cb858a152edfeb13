#include "keymap_editor/model.h"

#include <cstdio>

namespace keymap_editor {

std::string key_label(int k) {
    static const char rows[] = "ABCDEFGHJ";
    char label[8];
    std::snprintf(label, sizeof label, "%c%02d", rows[row_of(k)], column_of(k));
    return label;
}

std::optional<int> left_of(int k) {
    if (k < 0 || k >= key_count || column_of(k) == 1) {
        return std::nullopt;
    }
    return k - 1;
}

std::optional<int> above(int k) {
    if (k < 0 || k >= 78) {
        return std::nullopt;  // H9, H10 and row J have nothing above
    }
    return k + 10;
}

std::optional<int> above_left(int k) {
    if (!left_of(k) || !above(k)) {
        return std::nullopt;
    }
    return k + 9;
}

std::optional<GangBlock> gang_block(int k, std::uint8_t size) {
    const bool wide = size == size_code::horizontal || size == size_code::square;
    const bool tall = size == size_code::vertical || size == size_code::square;
    GangBlock block{k, {}};
    const std::optional<int> left = left_of(k);
    const std::optional<int> up = above(k);
    if ((wide && !left) || (tall && !up)) {
        return std::nullopt;
    }
    if (wide) {
        block.absorbed.push_back(*left);
        block.top_left = *left;
    }
    if (tall) {
        block.absorbed.push_back(*up);
        block.top_left = *up;
    }
    if (wide && tall) {
        block.absorbed.push_back(*up - 1);
        block.top_left = *up - 1;
    }
    return block;
}

namespace {

std::uint8_t size_code_of(SizeChoice choice) {
    switch (choice) {
        case SizeChoice::horizontal:
            return size_code::horizontal;
        case SizeChoice::vertical:
            return size_code::vertical;
        case SizeChoice::square:
            return size_code::square;
        case SizeChoice::single:
            break;
    }
    return size_code::single;
}

}  // namespace

SizeChoice size_choice_of(std::uint8_t size) {
    switch (size) {
        case size_code::horizontal:
            return SizeChoice::horizontal;
        case size_code::vertical:
            return SizeChoice::vertical;
        case size_code::square:
            return SizeChoice::square;
        default:
            return SizeChoice::single;
    }
}

bool& AttributeBoxes::operator[](AttributeBox box) {
    switch (box) {
        case AttributeBox::repeat:
            return repeat;
        case AttributeBox::shift:
            return shift;
        case AttributeBox::ctrl:
            return ctrl;
        case AttributeBox::alt:
            return alt;
        case AttributeBox::ordinary:
            break;
    }
    return ordinary;
}

AttributeBoxes attribute_boxes_of(std::uint8_t value) {
    AttributeBoxes boxes;
    boxes.ordinary = value == 0;
    boxes.repeat = (value & attribute::repeat) != 0;
    boxes.ctrl = (value & attribute::ctrl) != 0;
    boxes.shift = (value & attribute::shift) != 0;
    boxes.alt = (value & attribute::alt) != 0;
    return boxes;
}

void KeymapModel::reset() {
    records_.fill(KeyRecord{});
    current_ = j1;
}

bool KeymapModel::selectable(int k) const {
    return records_[k].owner == no_owner || records_[k].size != 0;
}

bool KeymapModel::set_keycode(int list_selection, std::size_t list_size) {
    if (list_selection < 0 || static_cast<std::size_t>(list_selection) >= list_size) {
        return false;
    }
    records_[current_].keycode = static_cast<std::uint8_t>(list_selection);
    return true;
}

void KeymapModel::toggle_attribute(AttributeBox box, bool checked, AttributeBoxes& boxes) {
    std::uint8_t& value = records_[current_].attribute;
    if (box == AttributeBox::ordinary) {
        if (boxes.repeat || boxes.shift || boxes.ctrl || boxes.alt) {
            boxes.ordinary = false;
        } else {
            value = 0;
            boxes.ordinary = true;
        }
        return;
    }
    std::uint8_t bit = box == AttributeBox::repeat  ? attribute::repeat
                       : box == AttributeBox::shift ? attribute::shift
                       : box == AttributeBox::ctrl  ? attribute::ctrl
                                                    : attribute::alt;
    boxes[box] = checked;
    if (checked) {
        value |= bit;
        boxes.ordinary = false;
    } else {
        value &= static_cast<std::uint8_t>(~bit);
        if (!boxes.repeat && !boxes.shift && !boxes.ctrl && !boxes.alt) {
            value = 0;
            boxes.ordinary = true;
        }
    }
}

SizeOutcome KeymapModel::set_size(SizeChoice choice) {
    const int k = current_;
    const std::uint8_t size = size_code_of(choice);
    const std::optional<GangBlock> block = gang_block(k, size);
    if (!block) {
        return SizeOutcome::no_room;
    }
    for (int p : block->absorbed) {
        if (records_[p].keycode != 0) {
            return SizeOutcome::not_null_function;
        }
    }
    for (int p : block->absorbed) {
        if (records_[p].owner != no_owner && records_[p].owner != k) {
            return SizeOutcome::already_ganged;
        }
    }
    // Positions of the old block that the new one leaves out show their buttons again.
    for (std::optional<int> p : {left_of(k), above(k), above_left(k)}) {
        if (p && records_[*p].owner == k) {
            records_[*p].owner = no_owner;
        }
    }
    // An absorbed position has size code 0 whatever it had before (a listing may carry 03H),
    // so that the listing saved from this model opens again.
    for (int p : block->absorbed) {
        records_[p].owner = static_cast<std::uint8_t>(k);
        records_[p].size = size_code::single;
    }
    KeyRecord& key = records_[k];
    key.size = size;
    key.owner = block->absorbed.empty() ? no_owner : static_cast<std::uint8_t>(k);
    return SizeOutcome::done;
}

std::optional<int> KeymapModel::navigate(Direction direction) const {
    int k = current_;
    const int steps = direction == Direction::left || direction == Direction::right ? 10 : 9;
    for (int step = 0; step < steps; ++step) {
        const int row = row_of(k);
        const int column = column_of(k);
        const int last_column = row == 8 ? 8 : 10;
        switch (direction) {
            case Direction::left:
                k = column == 1 ? key_index(row, last_column) : k - 1;
                break;
            case Direction::right:
                k = column == last_column ? key_index(row, 1) : k + 1;
                break;
            case Direction::up:
                if (row == 8) {
                    k = key_index(0, column);
                } else if (row == 7 && column >= 9) {
                    k = key_index(0, column);
                } else {
                    k += 10;
                }
                break;
            case Direction::down:
                if (row == 0) {
                    k = column <= 8 ? key_index(8, column) : key_index(7, column);
                } else if (row == 8) {
                    k = key_index(7, column);
                } else {
                    k -= 10;
                }
                break;
        }
        if (selectable(k)) {
            return k;
        }
    }
    return std::nullopt;
}

KeymapModel::Span KeymapModel::button_span(int k) const {
    const KeyRecord& key = records_[k];
    if (key.owner == k) {
        if (const std::optional<GangBlock> block = gang_block(k, key.size)) {
            return {block->top_left, k};
        }
    }
    return {k, k};
}

}  // namespace keymap_editor
