#pragma once
// The firmware file (*.mhx): Motorola S-records read into the 64 KiB image of the keyboard's
// firmware window, device addresses 0xFB0000 … 0xFBFFFF.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace firmware_download {

constexpr std::uint32_t window_start = 0xFB0000;
constexpr std::uint32_t window_end = 0xFBFFFF;  // inclusive
constexpr std::size_t firmware_image_size = 0x10000;

using FirmwareImage = std::array<std::uint8_t, firmware_image_size>;

enum class ParseOutcome { accepted, not_found, cannot_read, format_error };

// Runs the record reader over `text` into `image`, which is first set to 0xFF throughout.
// accepted only when an S8 record was reached without a format error and at least one data
// byte inside the window came from a record; after a format error the image holds what the
// records before it wrote.
ParseOutcome read_records(std::string_view text, FirmwareImage& image);

// Largest firmware file we agree to hold in memory; a bigger one "cannot be read".
constexpr std::size_t default_max_firmware_file = 16 * 1024 * 1024;

// Opens `path` for reading as text (not_found when it cannot be opened), reads it whole
// (cannot_read when its size cannot be measured, exceeds `max_size` or no buffer can be had)
// and runs read_records over it.
ParseOutcome read_firmware_file(const std::string& path, FirmwareImage& image,
                                std::size_t max_size = default_max_firmware_file);

// True when `path` can be opened for reading now (the main dialog's check before it asks).
bool firmware_file_opens(const std::string& path);

}  // namespace firmware_download
