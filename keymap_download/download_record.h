#pragma once
// The download record: which keyboard model a key map goes to and the sizes that follow from
// it. Set by the model radio buttons or the batch options; starts as the ReedKey PAD.
#include <cstddef>
#include <cstdint>

namespace keymap_download {

struct DownloadRecord {
    std::int16_t model_selector = 2;
    int line_count = 20;              // T lines a key map table file must hold
    std::size_t keymap_length = 160;  // line_count × 8
    std::size_t bytes_per_frame = 32;
    std::size_t frame_count = 5;  // keymap_length / bytes_per_frame
};

constexpr DownloadRecord sparrow_record() {
    return {1, 24, 192, 32, 6};
}
constexpr DownloadRecord reed_record() {
    return {2, 20, 160, 32, 5};
}

// Byte 5 of the read request and of the write start frame.
constexpr std::uint8_t model_flag(std::int16_t model_selector) {
    return model_selector == 1 ? 0 : 1;
}

// The file key map holds the largest model's key map; the key map buffer is what a read fills.
constexpr std::size_t file_keymap_size = 192;
constexpr std::size_t keymap_buffer_size = 255;

}  // namespace keymap_download
