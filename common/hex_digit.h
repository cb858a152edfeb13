#pragma once
// One hexadecimal digit of the text formats the programs read (listings, commands, settings).
namespace common {

// '0'…'9', 'A'…'F' and 'a'…'f' as 0…15; -1 for any other character.
constexpr int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace common
