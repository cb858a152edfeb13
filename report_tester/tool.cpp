#include "report_tester/tool.h"

#include <algorithm>
#include <cstdio>

#include "hidlink/identity.h"

namespace report_tester {

const HidEntryPoint hid_entry_points[9] = {
    {"HidD_GetHidGuid", "GetProcAddress error"},
    {"HidD_GetAttributes", "Get-HidD_GetAttributes-ProcAddress error"},
    {"HidD_GetSerialNumberString", "Get-HidD_GetSerialNumberString-ProcAddress error"},
    {"HidD_SetFeature", "Get-HidD_SetFeature-ProcAddress error"},
    {"HidD_GetFeature", "Get-HidD_GetFeature-ProcAddress error"},
    {"HidD_GetPreparsedData", "Get-HidD_GetPreparsedData error"},
    {"HidD_FreePreparsedData", "Get-HidD_FreePreparsedData-ProcAddress error"},
    {"HidP_GetCaps", "Get-HidP_GetCaps-ProcAddress error"},
    {"HidD_GetMsGenreDescriptor", "Get-HidD_GetMsGenreDescriptor-ProcAddress error"},
};

// Only the identity constants are taken from the link's header (no code of it is linked).
std::uint16_t product_id_for_model_choice(int selection) {
    return selection == 0 ? hidlink::ids::reed_product_id : hidlink::ids::larch_product_id;
}

std::uint16_t configured_vendor_id() {
    return hidlink::ids::vendor_id;
}

int next_sequence(int sequence) {
    return sequence >= 255 || sequence < 1 ? 1 : sequence + 1;
}

std::string sequence_text(int sequence) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(sequence) & 0xFFu);
    return text;
}

std::size_t write_length(std::uint16_t output_length, std::size_t produced) {
    return output_length != 0 ? output_length : produced;
}

std::uint32_t write_wait_steps(std::size_t length) {
    return static_cast<std::uint32_t>(length / 10 + 1);
}

std::string write_data_text(std::span<const std::uint8_t> written, std::uint16_t output_length) {
    auto at = [&](std::size_t i) -> unsigned { return i < written.size() ? written[i] : 0u; };
    char part[8];
    std::snprintf(part, sizeof part, "%02X", at(0));
    std::string text = part;
    for (std::size_t i = 1; i < output_length; ++i) {
        std::snprintf(part, sizeof part, ",%02X", at(i));
        text += part;
    }
    return text;
}

std::string report_lengths_text(std::uint16_t input_length, std::uint16_t output_length) {
    char text[64];
    std::snprintf(text, sizeof text, "InputReport=%d OutputReport=%d\r\n", input_length,
                  output_length);
    return text;
}

std::size_t read_length(std::uint16_t input_length) {
    return input_length != 0 ? input_length : 5000;
}

std::size_t read_buffer_size(std::uint16_t input_length) {
    return std::max<std::size_t>(5000, input_length);
}

std::size_t send_buffer_size_for(std::uint16_t output_length) {
    return std::max<std::size_t>(1024, output_length);
}

std::array<std::uint8_t, continuity_frame_size> continuity_frame(int step, int sequence) {
    std::array<std::uint8_t, continuity_frame_size> frame = {0x00,
                                                             0x02,
                                                             0x08,
                                                             0x04,
                                                             static_cast<std::uint8_t>(sequence),
                                                             0x06,
                                                             0x01,
                                                             static_cast<std::uint8_t>(step),
                                                             0x00};
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    }
    frame[8] = static_cast<std::uint8_t>(0u - sum);
    return frame;
}

void DevicePathList::clear() {
    paths_.clear();
    skipped_ = 0;
}

bool DevicePathList::add(const std::string& path) {
    if (path.size() >= max_path_bytes || paths_.size() == max_paths) {
        ++skipped_;
        return false;
    }
    paths_.push_back(path);
    return true;
}

std::string DevicePathList::first() const {
    return paths_.empty() ? std::string() : paths_.front();
}

}  // namespace report_tester
