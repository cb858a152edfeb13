#include "hidlink/frame.h"

#include <algorithm>

namespace hidlink {

std::uint8_t frame_checksum(const Frame& frame) {
    // Bytes 1 … 1+L; a length beyond 35 is clamped so the sum stays inside the frame.
    std::size_t last = 1 + std::min<std::size_t>(frame[2], frame_size - 3);
    unsigned sum = 0;
    for (std::size_t i = 1; i <= last; ++i) {
        sum += frame[i];
    }
    return static_cast<std::uint8_t>(sum);
}

Frame make_frame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    Frame frame{};
    std::size_t n = std::min(payload.size(), max_payload);
    frame[1] = command;
    frame[2] = static_cast<std::uint8_t>(n + 1);
    std::copy_n(payload.begin(), n, frame.begin() + 3);
    frame[3 + n] = frame_checksum(frame);
    return frame;
}

bool accept_reply(const Frame& reply) {
    return reply[1] != negative_reply_command &&
           reply[3] == static_cast<std::uint8_t>(reply[1] + reply[2]);
}

Frame make_start_frame(std::uint8_t command, std::uint8_t flag, std::uint16_t sum) {
    const std::uint8_t payload[] = {0x00, 0x00, flag, static_cast<std::uint8_t>(sum >> 8),
                                    static_cast<std::uint8_t>(sum & 0xFF)};
    return make_frame(command, payload);
}

Frame make_data_frame(std::uint8_t command, std::span<const std::uint8_t> data) {
    std::uint8_t payload[2 + data_bytes_per_frame] = {0x00, 0x01};
    std::copy_n(data.begin(), std::min(data.size(), data_bytes_per_frame), payload + 2);
    return make_frame(command, payload);
}

Frame make_end_frame(std::uint8_t command) {
    const std::uint8_t payload[] = {0x00, 0xFF};
    return make_frame(command, payload);
}

bool is_start_frame(const Frame& frame) {
    return frame[2] == 6 && frame[3] == 0x00 && frame[4] == 0x00 &&
           frame[8] == frame_checksum(frame);
}

bool is_data_frame(const Frame& frame) {
    return frame[2] == 35 && frame[3] == 0x00 && frame[4] == 0x01 &&
           frame[37] == frame_checksum(frame);
}

bool is_end_frame(const Frame& frame) {
    return frame[2] == 3 && frame[3] == 0x00 && frame[4] == 0xFF &&
           frame[5] == static_cast<std::uint8_t>(frame[1] + 2);
}

bool is_value_frame(const Frame& frame) {
    return frame[5] == static_cast<std::uint8_t>(frame[1] + frame[2] + frame[3] + frame[4]);
}

std::uint16_t sum16(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint16_t>(sum);
}

}  // namespace hidlink
