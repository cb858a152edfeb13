#pragma once
// The keyboard's four switch-style settings: their frames, which items each model carries,
// and reading or writing all of them on one open keyboard. All of the tool's settings state
// lives in one SettingsSession.
#include <cstdint>
#include <span>

#include "hidlink/frame.h"
#include "hidlink/link.h"

namespace settings_tool {

// Item codes; the keyboard holds one byte per item.
enum class Item : std::uint8_t {
    msr_type = 1,     // read only: 3 JIS, 4 ISO, anything else no reader
    key_lockout = 2,  // 0 two-key lockout, anything else F-key roll-over
    op_key = 3,       // 255 not connected, anything else connected
    key_input = 4,    // 0 typematic enabled, anything else disabled
};

constexpr std::uint8_t get_command = 0x01;
constexpr std::uint8_t set_command = 0x00;
constexpr const char* phase_event = "ZELGETMSR";

// Get result: one bit per failed item; 0 when every item of the model was read.
constexpr std::uint32_t get_not_found = 0x1;
constexpr std::uint32_t get_msr_type_failed = 0x10;
constexpr std::uint32_t get_key_lockout_failed = 0x100;
constexpr std::uint32_t get_key_input_failed = 0x1000;
constexpr std::uint32_t get_op_key_failed = 0x10000;

// Set result.
constexpr std::uint32_t set_ok = 0;
constexpr std::uint32_t set_not_found = 1;
constexpr std::uint32_t set_failed = 0x10000000;

// Model selectors the tool serves.
constexpr std::int16_t sparrow_selector = 1;
constexpr std::int16_t reed_selector = 2;  // ReedKey PAD and ReedMSR
constexpr std::int16_t larch_selector = 3;

// 00 01 02 II CK.
hidlink::Frame get_request(Item item);
// 00 00 03 II VV CK.
hidlink::Frame set_request(Item item, std::uint8_t value);
// The value frame's checksum: byte 5 equals the low 8 bits of bytes 1 … 4. Bytes 1 … 3 are
// not examined, so even a command byte of 0x81 passes.
bool accept_value_frame(const hidlink::Frame& reply);

// The get result bit of an item.
std::uint32_t failure_bit(Item item);

// Items in the order they are exchanged: selector 1 reads 1, 2, 4, 3; 2 reads 1, 2, 4; 3 reads
// 1, 2; any other selector only the MSR type. Writing skips the read-only MSR type.
std::span<const Item> items_read(std::int16_t model_selector);
std::span<const Item> items_written(std::int16_t model_selector);

// The tool's value of each item, 16 bits as the tool keeps them; the keyboard gets the low
// byte. The initial values are what the window shows for an item never read.
struct SettingsValues {
    std::uint16_t msr_type = 3;
    std::uint16_t key_lockout = 0;
    std::uint16_t op_key = 1;
    std::uint16_t key_input = 1;

    std::uint16_t& operator[](Item item);
    std::uint16_t operator[](Item item) const;
};

class SettingsSession {
  public:
    explicit SettingsSession(hidlink::Link& link) : link_(link) {}
    SettingsSession(const SettingsSession&) = delete;
    SettingsSession& operator=(const SettingsSession&) = delete;

    std::int16_t model_selector = reed_selector;
    SettingsValues values;

    // Opens the keyboard of the model selector once and reads its items in order; each item
    // read replaces its value, a failed one keeps it. A keyboard not found counts as a failed
    // read of every item of the model. Returns the get result.
    std::uint32_t read_all();
    // Opens the keyboard once and writes the current values of its items whose last read
    // succeeded: a value the keyboard did not give never overwrites its real setting. Returns
    // the set result.
    std::uint32_t write_all();

    // The get result bits of the items whose last read failed, or that were never read.
    std::uint32_t unread_items() const { return unread_; }
    // After a device change the keyboard may be another one: no value held came from it.
    void forget_reads() { unread_ = all_items_unread; }

    hidlink::Link& link() { return link_; }

    // After a failed item: how long the keyboard must stay silent before the next request.
    static constexpr std::uint32_t settle_ms = 500;

  private:
    bool read_item(Item item);
    bool write_item(Item item);
    void settle_after_failure();

    hidlink::Link& link_;
    static constexpr std::uint32_t all_items_unread =
        get_msr_type_failed | get_key_lockout_failed | get_key_input_failed | get_op_key_failed;
    std::uint32_t unread_ = all_items_unread;
};

}  // namespace settings_tool
