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
        // An S2 record of up to 32 bytes, then S8; it may start up to 16 bytes below the window
        // or run past its end, and only its bytes inside the window count.
        const long offset = static_cast<long>((data[0] << 8 | data[1]) & 0xFFF0) - 16;
        const std::size_t count = size - 2 > 32 ? 32 : size - 2;
        const auto address = static_cast<std::uint32_t>(firmware_download::window_start + offset);
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
            const bool reaches = offset + static_cast<long>(count) > 0;
            const ParseOutcome outcome = firmware_download::read_records(text, image);
            if (outcome != (reaches ? ParseOutcome::accepted : ParseOutcome::format_error)) {
                std::abort();
            }
            for (std::size_t i = 0; reaches && i < firmware_download::firmware_image_size; ++i) {
                const long at = static_cast<long>(i);
                const bool covered = at >= offset && at < offset + static_cast<long>(count);
                if (image[i] != (covered ? data[2 + at - offset] : 0xFF)) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
