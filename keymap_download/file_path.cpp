#include "keymap_download/file_path.h"

namespace keymap_download {

std::string windows_open_name(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    const std::size_t component = separator == std::string_view::npos ? 0 : separator + 1;
    std::size_t end = path.size();
    while (end > component && (path[end - 1] == ' ' || path[end - 1] == '.')) {
        --end;
    }
    if (end == component) {
        return std::string(path);
    }
    return std::string(path.substr(0, end));
}

}  // namespace keymap_download
