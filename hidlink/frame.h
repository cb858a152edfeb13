#pragma once
// The 38-byte report frame: report ID 0x00, command, length L (bytes from byte 3 up to and
// including the checksum), payload, checksum, zero padding.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace hidlink {

constexpr std::size_t frame_size = 38;
constexpr std::size_t max_payload = 34;  // L = 35 at most
constexpr std::size_t data_bytes_per_frame = 32;
using Frame = std::array<std::uint8_t, frame_size>;

constexpr std::uint8_t negative_reply_command = 0x81;

// Low 8 bits of the sum of bytes 1 … 1+L. A length byte outside 1 … 35 sums what fits in the
// frame, so a malformed reply can never make us read past its 38 bytes.
std::uint8_t frame_checksum(const Frame& frame);

// A zero-filled frame carrying command and payload (at most 34 bytes; more is cut) with its
// length and checksum.
Frame make_frame(std::uint8_t command, std::span<const std::uint8_t> payload);

// True when byte 1 is not 0x81 and byte 3 equals the low 8 bits of byte 1 + byte 2.
bool accept_reply(const Frame& reply);

// Multi-frame transfer frames (sub-code in bytes 3 and 4).
Frame make_start_frame(std::uint8_t command, std::uint8_t flag, std::uint16_t sum);
Frame make_data_frame(std::uint8_t command, std::span<const std::uint8_t> data);  // 32 bytes
Frame make_end_frame(std::uint8_t command);

// Checks of frames the keyboard sends in a keyboard-to-PC transfer.
bool is_start_frame(const Frame& frame);  // L = 6, sub-code 00 00, checksum in byte 8
bool is_data_frame(const Frame& frame);   // L = 35, sub-code 00 01, checksum in byte 37
bool is_end_frame(const Frame& frame);    // L = 3, sub-code 00 FF, byte 5 = byte 1 + 2

// A reply that carries a value (settings value frame, firmware version frame): byte 5 equals
// the low 8 bits of bytes 1 … 4.
bool is_value_frame(const Frame& frame);

// The 16-bit sum (modulo 65536) of a transfer's data bytes.
std::uint16_t sum16(std::span<const std::uint8_t> bytes);

}  // namespace hidlink
