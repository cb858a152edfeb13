#pragma once
// The two small interfaces through which the link reaches HID devices. Backends: win32 (real
// HID devices through SetupDi/HidD/HidP), sim (kbdsim.exe's named pipes) and the in-process
// simulated keyboard of the unit tests.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/hid_capabilities.h"
#include "hidlink/frame.h"

namespace hidlink {

enum class ReportKind { input = 0, output = 1, feature = 2 };
constexpr int report_kind_count = common::report_kind_count;
using Capabilities = common::HidCapabilities;
using CapabilityRecord = common::HidCapabilityRecord;

enum class IoStatus { done, pending, failed };

// One opened interface. Besides the HID queries it runs overlapped I/O: one OVERLAPPED record
// per phase whose completion event is the phase's named manual-reset event.
class Device {
  public:
    virtual ~Device() = default;

    virtual bool load_preparsed_data() = 0;  // HidD_GetPreparsedData
    virtual bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) = 0;
    virtual bool capabilities(Capabilities& caps) = 0;  // HidP_GetCaps
    // HidP_GetSpecificButtonCaps / ValueCaps for all usages; false unless HIDP_STATUS_SUCCESS.
    virtual bool button_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) = 0;
    virtual bool value_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) = 0;
    virtual std::uint32_t max_usage_list_length(ReportKind kind, std::uint16_t usage_page) = 0;

    // Opens (creates if missing) the named manual-reset, non-signalled phase event and zeroes
    // the phase's OVERLAPPED record.
    virtual void begin_phase(const char* event_name) = 0;
    // WriteFile / ReadFile of 38 bytes with the phase's OVERLAPPED record. A pending read
    // fills `buffer` when it completes, so `buffer` must outlive it (or the cancel).
    virtual IoStatus start_write(const Frame& frame) = 0;
    virtual IoStatus start_read(Frame& buffer) = 0;
    // GetOverlappedResult without waiting: true once the outstanding I/O has completed.
    virtual bool io_complete() = 0;
    // Waits on the phase event for at most `ms` (returns early when it is signalled).
    virtual void wait_event(std::uint32_t ms) = 0;
    virtual void reset_event() = 0;
    virtual void cancel_io() = 0;  // CancelIo
};

enum class InterfaceLookup { found, no_more, error };

// The machine's set of HID interfaces (SetupDi on Windows).
class Host {
  public:
    virtual ~Host() = default;
    // SetupDiGetClassDevsA(HID GUID, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE); false if it fails.
    virtual bool open_interface_list() = 0;
    // SetupDiEnumDeviceInterfaces at `index`, then its detail record for the path. `error`
    // covers both a failed enumeration step and a failed detail fetch.
    virtual InterfaceLookup interface_path(std::uint32_t index, std::string& path) = 0;
    virtual void close_interface_list() = 0;  // SetupDiDestroyDeviceInfoList
    // CreateFileA(path, read/write, share read/write, OPEN_EXISTING, overlapped); null on failure.
    virtual std::unique_ptr<Device> open_device(const std::string& path) = 0;
};

}  // namespace hidlink
