#include "report_tester/send_syntax.h"

#include "common/hex_digit.h"

namespace report_tester {

namespace {

bool token_character(char c) {
    return common::hex_digit(c) >= 0 || c == 'S' || c == 'N' || c == 'C' || c == 's' || c == 'n' ||
           c == 'c';
}

}  // namespace

bool convert_send_text(std::string_view text, std::uint8_t sequence, SendBuffer& bytes,
                       std::size_t& count) {
    bytes.fill(0);
    count = 0;
    std::size_t produced = 0;
    std::uint8_t sum = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char first = text[pos];
        const bool has_second = pos + 1 < text.size();
        const char second = has_second ? text[pos + 1] : '\0';
        if (!token_character(first) || (has_second && !token_character(second)) ||
            produced == bytes.size()) {
            bytes.fill(0);
            return false;
        }
        std::uint8_t value = 0;
        if ((first == 'S' && second == 'N') || (first == 's' && second == 'n')) {
            value = sequence;
        } else if ((first == 'C' && second == 'S') || (first == 'c' && second == 's')) {
            value = static_cast<std::uint8_t>(0u - sum);
        } else if (common::hex_digit(first) >= 0) {
            // The token's leading hexadecimal digits: "Cs" is 0x0C, a last single digit itself.
            int v = common::hex_digit(first);
            if (has_second && common::hex_digit(second) >= 0) {
                v = v * 16 + common::hex_digit(second);
            }
            value = static_cast<std::uint8_t>(v);
        }
        bytes[produced++] = value;
        sum = static_cast<std::uint8_t>(sum + value);
        pos += has_second ? 2 : 1;
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
        }
    }
    count = produced;
    return true;
}

}  // namespace report_tester
