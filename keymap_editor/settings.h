#pragma once
// Lexmap's settings: "Lexmap.INI" beside the program, its defaults and the language rule, the
// key code list path and the display font.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace keymap_editor {

// Looks a key up in the settings file: the value as the private-profile functions return it,
// or nothing when the file or the key is missing.
using ProfileLookup =
    std::function<std::optional<std::string>(std::string_view section, std::string_view key)>;

constexpr const char* settings_file_name = "Lexmap.INI";
// Every text value and path holds at most this many characters (a 260-byte buffer).
constexpr std::size_t max_text = 259;
// A LOGFONT face name holds 31 bytes and its terminator.
constexpr std::size_t max_face_name = 31;

struct FontSpec {
    int height = 12;    // logical height: the character cell height
    int charset = 128;  // the Shift-JIS character set, in both languages
    int quality = 1;    // draft
    std::string face;   // ANSI code page, cut to max_face_name bytes
};

struct EditorSettings {
    bool japanese = false;
    std::string keycode_list_name;  // as the settings give it, relative to the program folder
    FontSpec font;
};

// An integer value as GetPrivateProfileInt reads a non-empty one: its first 29 characters,
// leading blanks, a sign, then decimal digits or, after "0x", "0o" or "0b", hexadecimal, octal
// or binary ones, up to the first character that is none; 0 when there is no digit; wrapped to
// 32 bits.
constexpr std::size_t profile_int_digits = 29;
int profile_int(std::string_view value);

// The language, list name and font of the run. `ansi_code_page` gives the default language;
// "Language" = 0 makes the editor Japanese, any other value English.
EditorSettings read_settings(unsigned ansi_code_page, const ProfileLookup& lookup);

// The program's folder (with its trailing separator) followed by the list name; nothing when
// the result does not fit a path of max_text characters. `shift_jis`: the program's path is in
// code page 932 (its characters' second bytes are no separators).
std::optional<std::string> keycode_list_path(std::string_view program_path,
                                             std::string_view list_name, bool shift_jis);
// The settings file beside the program.
std::string settings_path(std::string_view program_path, bool shift_jis);

}  // namespace keymap_editor
