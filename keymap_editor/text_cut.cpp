#include "keymap_editor/text_cut.h"

#include <algorithm>

namespace keymap_editor {

std::string cut_text(std::string_view text, std::size_t max_bytes, bool shift_jis) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t width =
            shift_jis && is_shift_jis_lead(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + width > max_bytes) {
            break;
        }
        end += width;
    }
    return std::string(text.substr(0, std::min(end, text.size())));
}

}  // namespace keymap_editor
