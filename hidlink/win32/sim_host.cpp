#include "hidlink/win32/sim_host.h"

#include <windows.h>

#include "hidlink/win32/overlapped_device.h"
#include "simclient/win32/pipes.h"

namespace hidlink::win32 {

namespace {

using simclient::ListedInterface;
using simclient::win32::interface_pipe_path;
using simclient::win32::open_sim_pipe;

// A pipe to one simulated interface; what the HID parser would say comes from the listing.
class SimDevice : public OverlappedDevice {
  public:
    SimDevice(HANDLE pipe, ListedInterface listed)
        : OverlappedDevice(pipe), listed_(std::move(listed)) {}

    bool load_preparsed_data() override { return true; }

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        vendor_id = listed_.vendor_id;
        product_id = listed_.product_id;
        return true;
    }

    bool capabilities(Capabilities& caps) override {
        caps = listed_.caps;
        return true;
    }

    bool button_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        records = listed_.button_records[static_cast<int>(kind)];
        return true;
    }

    bool value_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        records = listed_.value_records[static_cast<int>(kind)];
        return true;
    }

    std::uint32_t max_usage_list_length(ReportKind kind, std::uint16_t usage_page) override {
        return simclient::max_usage_list_length(listed_.button_records[static_cast<int>(kind)],
                                                usage_page);
    }

  private:
    ListedInterface listed_;
};

}  // namespace

SimHost::SimHost(std::string pipe_name) : pipe_name_(std::move(pipe_name)) {}

bool SimHost::open_interface_list() {
    list_open_ = false;
    std::vector<ListedInterface> listing;
    if (!simclient::win32::fetch_listing(pipe_name_, listing)) {
        return false;  // no simulator (like a machine without HID devices), or a broken listing
    }
    listing_ = std::move(listing);
    list_open_ = true;
    return true;
}

InterfaceLookup SimHost::interface_path(std::uint32_t index, std::string& path) {
    if (!list_open_ || index >= listing_.size()) {
        return InterfaceLookup::no_more;
    }
    path = interface_pipe_path(pipe_name_, listing_[index].id);
    return InterfaceLookup::found;
}

void SimHost::close_interface_list() {
    list_open_ = false;
}

std::unique_ptr<Device> SimHost::open_device(const std::string& path) {
    const ListedInterface* listed = nullptr;
    for (const ListedInterface& candidate : listing_) {
        if (interface_pipe_path(pipe_name_, candidate.id) == path) {
            listed = &candidate;
        }
    }
    if (listed == nullptr) {
        return nullptr;
    }
    HANDLE pipe = open_sim_pipe(path);
    if (pipe == INVALID_HANDLE_VALUE) {
        return nullptr;  // unplugged since the listing, or no simulator any more
    }
    return std::make_unique<SimDevice>(pipe, *listed);
}

}  // namespace hidlink::win32
