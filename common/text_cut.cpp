#include "common/text_cut.h"

#include <algorithm>

namespace common {

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

std::string file_name_of(std::string_view path, bool shift_jis, std::string_view separators) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (shift_jis && is_shift_jis_lead(static_cast<unsigned char>(path[i]))) {
            ++i;  // its second byte
        } else if (separators.find(path[i]) != std::string_view::npos) {
            start = i + 1;
        }
    }
    return std::string(path.substr(start));
}

}  // namespace common
