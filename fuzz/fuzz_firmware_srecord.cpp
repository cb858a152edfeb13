// The S-record reader on any text; and a record built from the input's bytes, which the reader
// must take back into exactly those image bytes, in either case of hex digits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "firmware_download/srecord.h"

using firmware_download::FirmwareImage;
using firmware_download::ParseOutcome;

namespace {

std::string hex_byte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FirmwareImage image;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    firmware_download::read_records(text, image);

    if (size >= 3) {
        // An S2 record of up to 32 bytes at an offset inside the window, then S8.
        const std::uint32_t offset = (data[0] << 8 | data[1]) & 0xFFE0;
        const std::size_t count = size - 2 > 32 ? 32 : size - 2;
        const std::uint32_t address = firmware_download::window_start + offset;
        unsigned sum = static_cast<unsigned>(count + 4);
        std::string record = "S2" + hex_byte(static_cast<unsigned>(count + 4));
        for (int shift = 16; shift >= 0; shift -= 8) {
            sum += (address >> shift) & 0xFF;
            record += hex_byte(address >> shift);
        }
        for (std::size_t i = 0; i < count; ++i) {
            sum += data[2 + i];
            record += hex_byte(data[2 + i]);
        }
        record += hex_byte(~sum);
        // The same record in lower-case hex and without a line end before the end record
        // must give the same image.
        std::string lower = record;
        for (std::size_t i = 1; i < lower.size(); ++i) {
            if (lower[i] >= 'A' && lower[i] <= 'F') {
                lower[i] = static_cast<char>(lower[i] - 'A' + 'a');
            }
        }
        for (const std::string& text : {record + "\nS804000000FB\n", lower + "S804000000FB"}) {
            if (firmware_download::read_records(text, image) != ParseOutcome::accepted) {
                std::abort();
            }
            for (std::size_t i = 0; i < firmware_download::firmware_image_size; ++i) {
                const bool covered = i >= offset && i < offset + count;
                if (image[i] != (covered ? data[2 + i - offset] : 0xFF)) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
