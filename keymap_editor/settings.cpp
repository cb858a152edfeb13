#include "keymap_editor/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "common/hex_digit.h"
#include "common/language.h"
#include "common/text_cut.h"

namespace keymap_editor {

namespace {

constexpr const char* program_section = "Program Information";
constexpr const char* font_section = "Display Font";
// "ＭＳ ゴシック" in Shift-JIS.
constexpr const char* default_japanese_face =
    "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

std::string text_value(const ProfileLookup& lookup, const char* section, const char* key,
                       const char* fallback) {
    std::optional<std::string> value = lookup ? lookup(section, key) : std::nullopt;
    if (!value) {
        return fallback;
    }
    return value->substr(0, std::min(value->size(), max_text));
}

int int_value(const ProfileLookup& lookup, const char* section, const char* key, int fallback) {
    std::optional<std::string> value = lookup ? lookup(section, key) : std::nullopt;
    // An empty value gives the default, as a missing one does.
    return value && !value->empty() ? profile_int(*value) : fallback;
}

std::size_t folder_length(std::string_view path, bool shift_jis) {
    return path.size() - common::file_name_of(path, shift_jis).size();
}

}  // namespace

int profile_int(std::string_view value) {
    value = value.substr(0, std::min(value.size(), profile_int_digits));
    std::size_t i = 0;
    while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i + 1 < value.size() && value[i] == '0') {
        const char prefix = value[i + 1];
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        i += base == 10 ? 0 : 2;
    }
    // Only the low 32 bits are kept, as the system's reader keeps them.
    std::uint32_t number = 0;
    for (; i < value.size(); ++i) {
        const int digit = common::hex_digit(value[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) {
            break;
        }
        number = number * base + static_cast<unsigned>(digit);
    }
    if (negative) {
        number = 0u - number;
    }
    return static_cast<int>(number);
}

EditorSettings read_settings(unsigned ansi_code_page, const ProfileLookup& lookup) {
    EditorSettings settings;
    const int default_language = common::japanese_from_code_page(ansi_code_page) ? 0 : 1;
    settings.japanese = int_value(lookup, program_section, "Language", default_language) == 0;
    if (settings.japanese) {
        settings.keycode_list_name =
            text_value(lookup, program_section, "Keycode(JPN)", "Keycode.Jpn");
        settings.font.face = text_value(lookup, font_section, "Name(JPN)", default_japanese_face);
        settings.font.height = int_value(lookup, font_section, "Size(JPN)", 12);
    } else {
        settings.keycode_list_name =
            text_value(lookup, program_section, "Keycode(ENG)", "Keycode.Eng");
        settings.font.face = text_value(lookup, font_section, "Name(ENG)", "MS Sans Serif");
        settings.font.height = int_value(lookup, font_section, "Size(ENG)", 12);
    }
    // The face is interpreted in the system's code page, whatever the editor language.
    settings.font.face = common::cut_text(settings.font.face, max_face_name,
                                          common::japanese_from_code_page(ansi_code_page));
    return settings;
}

std::optional<std::string> keycode_list_path(std::string_view program_path,
                                             std::string_view list_name, bool shift_jis) {
    std::string path(program_path.substr(0, folder_length(program_path, shift_jis)));
    path += list_name;
    if (path.size() > max_text) {
        return std::nullopt;
    }
    return path;
}

std::string settings_path(std::string_view program_path, bool shift_jis) {
    std::string path(program_path.substr(0, folder_length(program_path, shift_jis)));
    return path + settings_file_name;
}

}  // namespace keymap_editor
