#pragma once
// A Host whose interfaces and replies each test scripts by hand, for the failure modes that no
// real keyboard shows on request (a failing detail fetch, preparsed data, capability calls).
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/device.h"
#include "hidlink/identity.h"

namespace hidlink::testing {

struct ScriptedInterface {
    std::string path;
    bool lookup_error = false;  // SetupDi enumeration or detail fetch fails at this index
    bool open_fails = false;
    bool preparsed_fails = false;
    bool attributes_fail = false;
    bool button_caps_fail = false;
    Identity identity{ids::vendor_id, ids::sparrow_product_id};
    Capabilities caps;
    std::vector<CapabilityRecord> buttons[report_kind_count];
    std::vector<CapabilityRecord> values[report_kind_count];
};

// A vendor collection with 38-byte input and output reports.
ScriptedInterface keyboard_interface(std::string path, Identity identity);

struct TimedReply {
    Frame frame{};
    std::uint32_t delay_ms = 0;  // after the previous reply, or after the request
};

class ScriptedHost : public Host {
  public:
    explicit ScriptedHost(common::FakeClock& clock) : clock(clock) {}

    bool open_interface_list() override;
    InterfaceLookup interface_path(std::uint32_t index, std::string& path) override;
    void close_interface_list() override;
    std::unique_ptr<Device> open_device(const std::string& path) override;

    common::FakeClock& clock;
    std::vector<ScriptedInterface> interfaces;
    // The keyboard's answer to each written frame.
    std::function<std::vector<TimedReply>(const Frame&)> respond;
    bool writes_stay_pending = false;
    // Interfaces disappear once this many devices have been opened (-1: never).
    int opens_before_unplug = -1;

    // What the tests look at.
    std::vector<std::string> opened_paths;
    int open_devices = 0;
    int list_opens = 0;
    int list_closes = 0;
    int cancels = 0;
    int event_resets = 0;
    std::vector<std::string> phase_events;
    std::vector<Frame> written;
};

}  // namespace hidlink::testing
