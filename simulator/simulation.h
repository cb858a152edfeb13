#pragma once
// The simulated keyboard: every keyboard model's side of the report-frame protocol, a set of
// HID interfaces as discovery sees them (keyboards and decoys), plug state, fault injection,
// a frame log and a state file. Portable: kbdsim.exe serves it on named pipes, unit tests use
// it in-process through InProcessHost.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hidlink/device.h"
#include "hidlink/frame.h"

namespace simulator {

// One HID interface as discovery sees it.
struct InterfaceInfo {
    int id = 0;     // stable for the simulation's life; names the interface's pipe
    int model = 0;  // model selector of the keyboard behind it; 0 for a decoy
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t usage_page = 0;
    std::uint16_t usage = 0;
    bool plugged = true;
};

// What the HID parser would report for the interface (same for every backend).
hidlink::Capabilities capabilities_of(const InterfaceInfo& info);
std::vector<hidlink::CapabilityRecord> button_capabilities_of(const InterfaceInfo& info,
                                                              hidlink::ReportKind kind);
std::vector<hidlink::CapabilityRecord> value_capabilities_of(const InterfaceInfo& info,
                                                             hidlink::ReportKind kind);

// A frame the keyboard sends, `delay_ms` after the frame before it (or after the request).
struct Reply {
    hidlink::Frame frame{};
    std::uint32_t delay_ms = 0;
};

struct Response {
    std::vector<Reply> replies;
    bool unplug = false;  // the interface was unplugged by this frame (after sending replies)
};

class Simulation {
public:
    // `models`: the keyboards present, e.g. {1, 2}; each also brings the decoy interfaces that
    // a real keyboard shows (its standard keyboard collection), and decoys of another vendor.
    explicit Simulation(std::vector<int> models = {1, 2, 3, 4});

    // Every interface in enumeration order, plugged or not.
    const std::vector<InterfaceInfo>& interfaces() const;

    // A frame written by the PC to interface `id` at time `now_ms`: logs it, applies faults,
    // updates the keyboard's state and returns what the keyboard answers (logged too).
    Response on_frame(int interface_id, const hidlink::Frame& frame, std::uint64_t now_ms);

    // Runtime control, the same text that kbdsim.exe takes on its command line and control
    // pipe, e.g. "unplug 1", "plug 1", "fault 1 nak on 21:00:00", "clear-faults".
    bool apply_command(std::string_view command, std::string& error);

    // State file: every keyboard's key map, settings, firmware sum and image, date stamps,
    // buzzer and click state, and plug state. Saved after every change once a path is set.
    bool load_state(const std::string& path, std::string& error);
    void set_state_path(const std::string& path);

    // Each frame-log line as it is produced (kbdsim.exe appends them to its log file).
    void set_log_sink(std::function<void(const std::string& line)> sink);
};

}  // namespace simulator
