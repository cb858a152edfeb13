#pragma once
// Cutting ANSI texts to the size of a fixed buffer without leaving half of a two-byte
// character behind (Shift-JIS lead bytes under code page 932).
#include <cstddef>
#include <string>
#include <string_view>

namespace common {

constexpr bool is_shift_jis_lead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The longest prefix of `text` of at most `max_bytes` bytes that ends on a character boundary.
std::string cut_text(std::string_view text, std::size_t max_bytes, bool shift_jis);

// The file name part of a path: what follows the last of `separators`. With `shift_jis` (code
// page 932) the second byte of a two-byte character is no separator, though it may be 5CH
// ("\").
std::string file_name_of(std::string_view path, bool shift_jis,
                         std::string_view separators = "\\/:");

}  // namespace common
