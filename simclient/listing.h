#pragma once
// The interface listing that kbdsim.exe sends over its control pipe and its clients (the HID
// link's sim backend, Sonder) read: every plugged interface of the simulated keyboards with
// what discovery asks of it. Text, one
// record per line, so a listing can be read in a log or typed by hand:
//
//   interface <id> <vid> <pid> <usage page> <usage> <report lengths> <button caps> <value caps>
//   button|value <input|output|feature> <usage page> <report id> <usage min> <usage max>
//       range|single
//   end
//
// IDs, usage pages and usages are 4 hex digits; ids, report IDs and counts are decimal; each of
// the three "lengths"/"caps" fields is three decimal numbers (input output feature), as
// HidP_GetCaps counts them. Capability records follow their interface line, as
// HidP_GetSpecific*Caps lists them, exactly as many of each kind as the counts say.
//
//   interface 3 1FF3 0001 FF01 0001 38 38 0 0 0 0 1 1 0
//   value input FF01 0 0001 0002 range
//   value output FF01 0 0001 0001 single
//   end
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/hid_capabilities.h"

namespace simclient {

// The client library links nothing of the suite (Sonder uses it alone); what the HID parser
// reports is shared with the link as plain structures.
constexpr int report_kind_count = common::report_kind_count;
using Capabilities = common::HidCapabilities;
using CapabilityRecord = common::HidCapabilityRecord;

struct ListedInterface {
    int id = 0;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    Capabilities caps;
    std::array<std::vector<CapabilityRecord>, report_kind_count> button_records;
    std::array<std::vector<CapabilityRecord>, report_kind_count> value_records;
};

std::string format_listing(const std::vector<ListedInterface>& interfaces);

// False with a message naming the line when the text is not a complete, consistent listing.
bool parse_listing(std::string_view text, std::vector<ListedInterface>& interfaces,
                   std::string& error);

// What HidP_MaxUsageListLength answers: how many usages the button capabilities of one usage
// page (0: every page) can report at once.
std::uint32_t max_usage_list_length(const std::vector<CapabilityRecord>& button_records,
                                    std::uint16_t usage_page);

}  // namespace simclient
