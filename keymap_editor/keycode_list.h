#pragma once
// The key code list: one entry per line of a text file in the system's code page; entry n
// names key code n. Line ends are read here (CR LF or LF), so the result does not depend on
// the platform that reads the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace keymap_editor {

// Key codes 0 … 254; 0 is the Null Function key.
constexpr std::size_t max_keycode_entries = 255;
// Texts hold at most 259 characters: an entry's name at most 258 and its line end.
constexpr std::size_t max_entry_text = 258;
constexpr std::size_t max_caption = 259;

struct KeycodeEntry {
    std::string name;     // the list text: the line without its line end
    std::string caption;  // the button caption: "&" doubled, so the button shows "&"
};

class KeycodeList {
  public:
    // Parses the file's bytes. A line longer than max_entry_text is cut (the rest of the line
    // is dropped, so every later key code keeps its name); lines past the 255th are ignored.
    void parse(std::string_view bytes, bool shift_jis);
    // Reads the file; false when it cannot be opened.
    bool load(const std::string& path, bool shift_jis);

    std::size_t size() const { return entries_.size(); }
    bool contains(unsigned keycode) const { return keycode < entries_.size(); }
    // Empty texts for a key code beyond the list (a loaded listing may carry one).
    const std::string& name(unsigned keycode) const;
    const std::string& caption(unsigned keycode) const;

  private:
    std::vector<KeycodeEntry> entries_;
};

// The entry with every "&" doubled, at most max_caption bytes, never ending in half of a
// doubled "&" or of a two-byte character.
std::string button_caption(std::string_view name, bool shift_jis);

}  // namespace keymap_editor
