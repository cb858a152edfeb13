#pragma once
// The USB identities the suite accepts, in one place. The firmware tool alone knows the
// alternate identity (selector 1) and the ReedMSR row (selector 4).
#include <cstdint>

namespace hidlink {

enum class Program { standard, firmware_tool };

struct Identity {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
};

namespace ids {
constexpr std::uint16_t vendor_id = 0x1FF3;
constexpr std::uint16_t sparrow_product_id = 0x0001;
constexpr std::uint16_t reed_product_id = 0x0002;
constexpr std::uint16_t larch_product_id = 0x0003;
constexpr std::uint16_t reed_msr_product_id = 0x0004;
constexpr std::uint16_t alternate_vendor_id = 0x1FF4;
constexpr std::uint16_t alternate_product_id = 0x0100;
}  // namespace ids

// The vendor-defined collection every keyboard exposes for report frames.
constexpr std::uint16_t vendor_usage_page = 0xFF01;
constexpr std::uint16_t vendor_usage = 0x0001;

// The identity that discovery accepts for a model selector in a program.
Identity identity_for(Program program, std::int16_t model_selector);

}  // namespace hidlink
