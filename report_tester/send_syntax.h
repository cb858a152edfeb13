#pragma once
// The send-data notation of Sonder's scripts and "Command" box: two-character hexadecimal
// tokens, each optionally followed by one comma. "SN"/"sn" insert the sequence number, "CS"/"cs"
// the checksum of everything before it.
//
//   00,02,08,04,SN,06,01,00,CS   with sequence number 1 -> 00 02 08 04 01 06 01 00 EA
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace report_tester {

// The send buffer; the text of a "data" value or of the "Command" box is one shorter.
constexpr std::size_t send_buffer_size = 1024;
constexpr std::size_t max_send_text = send_buffer_size - 1;

using SendBuffer = std::array<std::uint8_t, send_buffer_size>;

// Converts `text` into `bytes` (zero-filled first) and sets `count`. False on a syntax error:
// then `count` is 0 and `bytes` all zero. Each token yields one byte from at least one
// character, so no text can produce more than the buffer holds; a text that would is refused.
bool convert_send_text(std::string_view text, std::uint8_t sequence, SendBuffer& bytes,
                       std::size_t& count);

}  // namespace report_tester
