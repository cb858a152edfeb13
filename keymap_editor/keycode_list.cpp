#include "keymap_editor/keycode_list.h"

#include <cstdio>

#include "common/text_cut.h"

namespace keymap_editor {

namespace {
const std::string empty_text;
}

std::string button_caption(std::string_view name, bool shift_jis) {
    std::string caption;
    std::size_t i = 0;
    while (i < name.size()) {
        const unsigned char byte = static_cast<unsigned char>(name[i]);
        const bool two_byte = shift_jis && common::is_shift_jis_lead(byte) && i + 1 < name.size();
        std::string_view part = two_byte ? name.substr(i, 2) : name.substr(i, 1);
        const std::size_t width = byte == '&' ? 2 : part.size();
        if (caption.size() + width > max_caption) {
            break;
        }
        caption += byte == '&' ? std::string_view("&&") : part;
        i += part.size();
    }
    return caption;
}

void KeycodeList::parse(std::string_view bytes, bool shift_jis) {
    entries_.clear();
    std::size_t start = 0;
    while (start < bytes.size() && entries_.size() < max_keycode_entries) {
        std::size_t end = bytes.find('\n', start);
        std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        KeycodeEntry entry;
        entry.name = common::cut_text(line, max_entry_text, shift_jis);
        entry.caption = button_caption(entry.name, shift_jis);
        entries_.push_back(std::move(entry));
        start = next;
    }
}

bool KeycodeList::load(const std::string& path, bool shift_jis) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    std::size_t got = 0;
    // 255 entries of 260 bytes, with room for long lines being cut.
    constexpr std::size_t max_bytes = 16 * 1024 * 1024;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() < max_bytes) {
        bytes.append(chunk, got);
    }
    std::fclose(file);
    parse(bytes, shift_jis);
    return true;
}

const std::string& KeycodeList::name(unsigned keycode) const {
    return contains(keycode) ? entries_[keycode].name : empty_text;
}

const std::string& KeycodeList::caption(unsigned keycode) const {
    return contains(keycode) ? entries_[keycode].caption : empty_text;
}

}  // namespace keymap_editor
