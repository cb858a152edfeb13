#pragma once
// Word-level reading of the simulator's texts (control commands, faults, state files).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace simulator {

// Words separated by blanks or tabs.
std::vector<std::string_view> split_words(std::string_view text);

// Decimal number without sign; false on anything else or a value above `max`.
bool parse_decimal(std::string_view word, std::uint32_t max, std::uint32_t& value);

// One or two hex digits, optionally prefixed "0x".
bool parse_hex_byte(std::string_view word, std::uint8_t& value);

// Hex bytes separated by blanks ("00 21 FF"); false on any other word.
bool parse_hex_bytes(std::string_view text, std::vector<std::uint8_t>& bytes);

// "00 21 FF": uppercase hex pairs separated by single spaces.
std::string hex_text(std::span<const std::uint8_t> bytes);

std::string_view trim(std::string_view text);

}  // namespace simulator
