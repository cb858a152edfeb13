#pragma once
// The simulated keyboard: every keyboard model's side of the report-frame protocol, a set of
// HID interfaces as discovery sees them (keyboards and decoys), plug state, fault injection,
// a frame log and a state file. Portable: kbdsim.exe serves it on named pipes, unit tests use
// it in-process through InProcessHost. Not thread-safe: a server holds one lock around it.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hidlink/device.h"
#include "hidlink/frame.h"
#include "simulator/faults.h"
#include "simulator/keyboard.h"

namespace simulator {

enum class InterfaceKind {
    vendor,               // the keyboard's vendor-defined collection (usage page 0xFF01, usage 1)
    keyboard_collection,  // the same keyboard's standard keyboard collection (page 1, usage 6)
    other_vendor,         // another vendor's device with a vendor-defined collection
    consumer_control,     // the Sparrow POS Keyboard's consumer-control collection (0x0C, 1)
};

// One HID interface as discovery sees it.
struct InterfaceInfo {
    int id = 0;           // stable for the simulation's life; names the interface's pipe
    int model = 0;        // model selector of the keyboard behind a vendor interface; 0 for a decoy
    int owner_model = 0;  // keyboard whose plug state it follows; 0 for the other vendor's device
    InterfaceKind kind = InterfaceKind::vendor;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t usage_page = 0;
    std::uint16_t usage = 0;
    bool plugged = true;
    std::uint32_t unplugs = 0;  // times it was unplugged: a handle opened before is dead
};

// Interface ids: a keyboard's vendor interface has its model selector as id, its keyboard
// collection 10 + model selector, the other vendor's device 99.
constexpr int other_vendor_interface_id = 99;
constexpr int keyboard_collection_id(int model) {
    return 10 + model;
}
constexpr std::uint16_t other_vendor_id = 0x0E6A;
// The Sparrow POS Keyboard's consumer-control collection: same identity, opens for reading
// and writing, wrong usage page, so discovery must turn it away by its usage.
constexpr int consumer_control_id(int model) {
    return 20 + model;
}

// Windows keeps keyboard collections to itself: opening one for reading and writing fails.
// Every other interface opens.
bool opens_for_read_write(const InterfaceInfo& info);

// What the HID parser would report for the interface (same for every backend).
hidlink::Capabilities capabilities_of(const InterfaceInfo& info);
std::vector<hidlink::CapabilityRecord> button_capabilities_of(const InterfaceInfo& info,
                                                              hidlink::ReportKind kind);
std::vector<hidlink::CapabilityRecord> value_capabilities_of(const InterfaceInfo& info,
                                                             hidlink::ReportKind kind);
// HidP_MaxUsageListLength: the usages that the button capabilities of `usage_page` (0: all)
// cover.
std::uint32_t max_usage_list_length_of(const InterfaceInfo& info, hidlink::ReportKind kind,
                                       std::uint16_t usage_page);

// A frame the keyboard sends, `delay_ms` after the frame before it (or after the request).
struct Reply {
    hidlink::Frame frame{};
    std::uint32_t delay_ms = 0;
};

struct Response {
    std::vector<Reply> replies;
    bool unplug = false;  // the interface was unplugged by this frame (after sending replies)
};

// The keyboards to present, from text like "1,2,3,4" or "1alt,2": models 1 to 4, each at most
// once, in enumeration order; "1alt" is a Sparrow POS Keyboard that shows the firmware tool's
// alternate vendor and product ID. `alternate_identity` lists the models marked "alt".
bool parse_models(std::string_view text, std::vector<int>& models,
                  std::vector<int>& alternate_identity, std::string& error);

class Simulation {
  public:
    // `models`: the keyboards present, e.g. {1, 2}; each also brings its standard keyboard
    // collection as a decoy, and one decoy of another vendor comes first. Models outside 1 … 4
    // and repeats are left out (parse_models reports them). A Sparrow POS Keyboard (1) listed
    // in `alternate_identity` shows the alternate vendor and product ID.
    explicit Simulation(std::vector<int> models = {1, 2, 3, 4},
                        std::vector<int> alternate_identity = {});
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // The time (same clock as on_frame's now_ms) that frame-log times count from. Unset, the
    // first time the simulation sees becomes the origin.
    void set_clock_origin(std::uint64_t start_ms);

    // Every interface in enumeration order, plugged or not.
    const std::vector<InterfaceInfo>& interfaces() const;
    const InterfaceInfo* find_interface(int id) const;

    // A frame written by the PC to interface `id` at time `now_ms`: logs it, applies faults,
    // updates the keyboard's state and returns what the keyboard answers (logged too, stamped
    // with the time each reply is due). Unknown or unplugged interfaces answer nothing.
    Response on_frame(int interface_id, const hidlink::Frame& frame, std::uint64_t now_ms);

    // Runtime control, the same text that kbdsim.exe takes on its command line and control
    // pipe: "plug 1", "unplug 1", "fault 1 nak on 21:00:00", "clear-faults [1]",
    // "set 1 key-lockout = 0" (any state-file key). Events are logged at `now_ms`; without it,
    // at the latest time the simulation has seen.
    bool apply_command(std::string_view command, std::string& error);
    bool apply_command(std::string_view command, std::string& error, std::uint64_t now_ms);

    // An input report the keyboard `model` sends on its own, as a HID device does to every
    // open handle of its vendor interface: logged as a frame out. False (with why) when the
    // model is not present or not plugged; the server then delivers nothing.
    bool input_report(int model, const hidlink::Frame& report, std::uint64_t now_ms,
                      std::string& error);

    // State file: every keyboard's key map, settings, firmware image, date stamps, buzzer and
    // click state, and plug state (format in state_file.h and README.md).
    // load_state: reads `path` into the keyboards; on error nothing changes.
    bool load_state(const std::string& path, std::string& error);
    // Saves at once, then after every change of a kept state, atomically.
    void set_state_path(const std::string& path);
    // load_state when `path` exists, then set_state_path (which creates it).
    bool open_state_file(const std::string& path, std::string& error);
    // Empty, or why the last save failed (also logged as an event).
    const std::string& save_error() const { return save_error_; }
    std::string state_text() const;

    // Each frame-log line as it is produced (kbdsim.exe appends them to its log file).
    void set_log_sink(std::function<void(const std::string& line)> sink);
    // Called whenever a keyboard is plugged or unplugged (by a command, a fault or a state).
    void set_plug_listener(std::function<void(int model, bool plugged)> listener);

    // What a keyboard keeps now; null for a model that is not present.
    const KeyboardState* keyboard_state(int model) const;
    // Faults still waiting or firing for a model.
    const std::vector<Fault>& faults(int model) const;

  private:
    Keyboard* keyboard(int model);
    // The first time noted becomes the log's origin unless one was set.
    void note_time(std::uint64_t now_ms);
    std::uint64_t elapsed(std::uint64_t now_ms) const;
    bool run_command(std::string_view command, std::string& error, std::uint64_t now_ms);
    void log(const std::string& line);
    void set_plugged(int model, bool plugged, std::uint64_t now_ms);
    bool apply_state_text(std::string_view text, std::string& error, std::uint64_t now_ms);
    void save();

    std::vector<InterfaceInfo> interfaces_;
    std::vector<Keyboard> keyboards_;
    std::map<int, std::vector<Fault>> faults_;
    std::optional<std::uint64_t> origin_ms_;
    std::uint64_t latest_ms_ = 0;
    std::string state_path_;
    std::string save_error_;
    std::function<void(const std::string&)> log_sink_;
    std::function<void(int, bool)> plug_listener_;
};

}  // namespace simulator
