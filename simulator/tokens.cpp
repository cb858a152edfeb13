#include "simulator/tokens.h"

#include "common/hex_digit.h"

namespace simulator {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_blank(text[i])) {
            ++i;
        }
        std::size_t start = i;
        while (i < text.size() && !is_blank(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

bool parse_decimal(std::string_view word, std::uint32_t max, std::uint32_t& value) {
    if (word.empty() || word.size() > 10) {
        return false;
    }
    std::uint64_t v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > max) {
        return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool parse_hex_byte(std::string_view word, std::uint8_t& value) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
    }
    if (word.empty() || word.size() > 2) {
        return false;
    }
    int v = 0;
    for (char c : word) {
        int d = common::hex_digit(c);
        if (d < 0) {
            return false;
        }
        v = v * 16 + d;
    }
    value = static_cast<std::uint8_t>(v);
    return true;
}

bool parse_hex_bytes(std::string_view text, std::vector<std::uint8_t>& bytes) {
    for (std::string_view word : split_words(text)) {
        std::uint8_t b = 0;
        if (word.size() != 2 || !parse_hex_byte(word, b)) {
            return false;
        }
        bytes.push_back(b);
    }
    return true;
}

std::string hex_text(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace simulator
