// Lexmap's settings on any values, under both code pages: every text within its buffer and the
// key code list's path within a path's length.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "keymap_editor/settings.h"

using namespace keymap_editor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input's lines are the values of the keys in the order they are looked up; a line
    // "-" stands for a missing key.
    std::vector<std::string> values;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        values.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    for (unsigned code_page : {932u, 1252u}) {
        std::size_t next = 0;
        const ProfileLookup lookup = [&](std::string_view, std::string_view) {
            std::optional<std::string> value;
            if (next < values.size() && values[next] != "-") {
                value = values[next];
            }
            ++next;
            return value;
        };
        const EditorSettings settings = read_settings(code_page, lookup);
        if (settings.font.face.size() > max_face_name ||
            settings.keycode_list_name.size() > max_text) {
            std::abort();
        }
        const std::optional<std::string> path =
            keycode_list_path("C:\\POS\\Lexmap.exe", settings.keycode_list_name, code_page == 932);
        if (path && path->size() > max_text) {
            std::abort();
        }
    }
    return 0;
}
