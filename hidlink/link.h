#pragma once
// The keyboard HID link: finds the vendor-defined interface of the selected model, opens it,
// gates it on its capabilities, and runs bounded overlapped writes and reads on it. One Link
// per program (or per test) holds all of the layer's state.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/clock.h"
#include "hidlink/device.h"
#include "hidlink/frame.h"
#include "hidlink/identity.h"

namespace hidlink {

constexpr std::uint32_t default_timeout_ms = 5000;
constexpr std::uint32_t settings_timeout_ms = 1000;
constexpr std::uint32_t firmware_start_reply_timeout_ms = 51000;
// Longest single wait on the phase event before the overlapped result is checked again.
constexpr std::uint32_t poll_interval_ms = 8;

constexpr std::uint32_t hidp_status_success = 0x110000;

// One entry of a report kind's usage data list, built by the capability parse.
struct UsageData {
    bool is_button = false;
    std::uint16_t usage_page = 0;
    std::uint32_t status = hidp_status_success;
    std::uint32_t report_id = 0;
    std::uint32_t usage_min = 0;  // button entries
    std::uint32_t usage_max = 0;
    std::uint32_t max_usage_list_length = 0;
    std::vector<std::uint16_t> usages;  // button entries: zeroed, max_usage_list_length long
    std::uint16_t usage = 0;            // value entries
};

struct ReportKindData {
    std::vector<std::uint8_t> report_buffer;
    std::vector<CapabilityRecord> button_caps;
    std::vector<CapabilityRecord> value_caps;
    std::vector<UsageData> usage_data;
};

class Link {
  public:
    Link(Host& host, common::Clock& clock, Program program = Program::standard);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Set by the tool before every open.
    std::int16_t model_selector = 2;

    // Closed → open on success; stays closed when no accepted interface is present.
    bool find_and_open();
    // Either state → closed; harmless when already closed.
    void close();
    bool is_open() const { return device_ != nullptr; }

    // Exchange primitives on the open device; on a closed link a write does nothing and a
    // read is not received.
    void begin_phase(const char* event_name);
    void write_frame(const Frame& frame, std::uint32_t timeout_ms);
    bool read_frame(Frame& reply, std::uint32_t timeout_ms);

    const Capabilities& capabilities() const { return caps_; }
    const ReportKindData& report_kind(ReportKind kind) const {
        return kinds_[static_cast<int>(kind)];
    }
    Program program() const { return program_; }

  private:
    std::unique_ptr<Device> open_one_interface(const std::string& path);
    bool parse_capabilities(Device& device);
    // Waits for the outstanding I/O: true when it completed within the time-out, else cancels.
    bool wait_io(std::uint32_t timeout_ms);
    void free_capabilities();

    Host& host_;
    common::Clock& clock_;
    Program program_;
    std::unique_ptr<Device> device_;
    Capabilities caps_;
    ReportKindData kinds_[report_kind_count];
};

}  // namespace hidlink
