// The key map table reader on any text, with every line count a caller could pass; and the
// writer's output, which the reader must always take back.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "keymap_download/keymap_table.h"

using keymap_download::file_keymap_size;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // First byte: the line count (20 and 24 are the real ones; the rest must be refused
    // or handled without touching memory outside the key map).
    const int line_count = static_cast<int>(static_cast<std::int8_t>(data[0]));
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::array<std::uint8_t, file_keymap_size> keymap;
    keymap.fill(0xFF);
    keymap_download::read_table(text, line_count, keymap);
    keymap_download::read_table(text, 20, keymap);
    keymap_download::read_table(text, 24, keymap);

    if (size - 1 >= file_keymap_size) {
        std::array<std::uint8_t, file_keymap_size> source;
        std::memcpy(source.data(), data + 1, file_keymap_size);
        const std::string written = keymap_download::table_text(source);
        std::array<std::uint8_t, file_keymap_size> back;
        if (keymap_download::read_table(written, 24, back) !=
                keymap_download::TableResult::accepted ||
            std::memcmp(back.data(), source.data(), 176) != 0) {
            std::abort();
        }
    }
    return 0;
}
