#pragma once
// What the HID parser reports of an interface (HidP_GetCaps, HidP_GetSpecific*Caps). The HID
// link reads it from the system or from the simulator's interface listing, which carries it as
// text; one definition serves both, so the listing never needs converting.
#include <cstdint>

namespace common {

constexpr int report_kind_count = 3;  // input, output, feature

// The interface's capability summary (HIDP_CAPS).
struct HidCapabilities {
    std::uint16_t usage = 0;
    std::uint16_t usage_page = 0;
    std::uint16_t report_length[report_kind_count] = {};  // byte length per report kind
    std::uint16_t button_caps[report_kind_count] = {};    // number of button capabilities
    std::uint16_t value_caps[report_kind_count] = {};     // number of value capabilities
};

// One button or value capability as the HID parser returns it.
struct HidCapabilityRecord {
    std::uint16_t usage_page = 0;
    std::uint8_t report_id = 0;
    bool is_range = false;
    std::uint16_t usage_min = 0;  // the usage itself when not a range
    std::uint16_t usage_max = 0;  // equal to usage_min when not a range
};

}  // namespace common
