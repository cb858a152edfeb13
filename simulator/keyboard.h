#pragma once
// One keyboard's side of the report-frame protocol: what it keeps (key map, settings, date
// stamps, firmware image, version, key click, buzzer) and how it answers each request.
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "hidlink/frame.h"

namespace simulator {

constexpr std::size_t firmware_image_size = 65536;
constexpr std::size_t firmware_block_count = firmware_image_size / hidlink::data_bytes_per_frame;
constexpr std::size_t date_stamp_size = 10;

// Settings item codes.
constexpr std::uint8_t item_msr_type = 1;
constexpr std::uint8_t item_key_lockout = 2;
constexpr std::uint8_t item_op_key = 3;
constexpr std::uint8_t item_key_input = 4;

// Date stamp items of command 0x08.
constexpr std::uint8_t date_item_keymap = 0x03;
constexpr std::uint8_t date_item_firmware = 0x05;

using DateStamp = std::array<std::uint8_t, date_stamp_size>;

struct BuzzerState {
    bool on = false;
    std::uint8_t pattern_code = 0;  // as last sent with 0x04
    std::uint8_t sound = 0;
    bool operator==(const BuzzerState&) const = default;
};

// Everything a keyboard keeps across requests and restarts (the state file holds exactly this).
struct KeyboardState {
    int model = 0;
    bool plugged = true;
    std::vector<std::uint8_t> keymap;               // empty for a model without a key map
    std::map<std::uint8_t, std::uint8_t> settings;  // item code → value, the model's items only
    DateStamp keymap_date{};
    DateStamp firmware_date{};
    std::vector<std::uint8_t> firmware_image;  // firmware_image_size bytes
    std::uint32_t firmware_blocks = 0;         // data blocks of the last completed download
    std::array<std::uint8_t, 2> version{};
    int click = -1;  // -1 off (0x03), else the click value of the last 0x02
    BuzzerState buzzer;
    bool operator==(const KeyboardState&) const = default;
};

// Model facts.
std::size_t keymap_length(int model);  // 192 Sparrow, 160 ReedKey PAD, 0 otherwise
std::uint8_t model_flag(int model);    // key map flag byte: 0 Sparrow, 1 every other model
bool model_has_setting(int model, std::uint8_t item);
KeyboardState initial_state(int model);

// How an answer departs from the protocol (set by fault injection).
struct AnswerOptions {
    int keymap_data_frames = -1;  // ≥ 0: a key map read sends only this many data frames, no end
};

struct Answer {
    std::vector<hidlink::Frame> replies;
    bool state_changed = false;  // the kept state changed (so it has to be saved)
};

hidlink::Frame ack_frame(std::uint8_t command);
hidlink::Frame negative_reply(std::uint8_t command);

class Keyboard {
  public:
    explicit Keyboard(KeyboardState initial);

    Answer answer(const hidlink::Frame& request, const AnswerOptions& options = {});

    // Power lost (unplugged): transfers in progress are forgotten.
    void power_off();

    const KeyboardState& state() const { return state_; }
    // Replaces what the keyboard keeps; a transfer in progress goes on.
    void set_state(KeyboardState state);

  private:
    Answer keymap_read(const hidlink::Frame& request, const AnswerOptions& options);
    Answer keymap_write(const hidlink::Frame& request);
    Answer firmware(const hidlink::Frame& request);
    Answer settings_get(const hidlink::Frame& request);
    Answer settings_set(const hidlink::Frame& request);
    Answer date_stamp(const hidlink::Frame& request);

    KeyboardState state_;

    // A key map write between its start and end frames.
    struct KeymapWrite {
        bool started = false;
        std::uint16_t sum = 0;
        std::vector<std::uint8_t> received;
    } keymap_write_;

    // A firmware download between its start and end frames.
    struct FirmwareDownload {
        bool started = false;
        std::uint32_t blocks = 0;
        std::vector<std::uint8_t> image;
    } firmware_;
};

}  // namespace simulator
