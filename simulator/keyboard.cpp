#include "simulator/keyboard.h"

#include <algorithm>

namespace simulator {

using hidlink::Frame;

namespace {

// Requests are checked as strictly as the tools build them, so a tool that sends a malformed
// frame meets a negative reply instead of a keyboard that silently guesses.
bool well_formed(const Frame& f) {
    std::uint8_t length = f[2];
    return f[0] == 0x00 && length >= 1 && length <= 35 &&
           f[2 + length] == hidlink::frame_checksum(f);
}

std::uint16_t sub_code(const Frame& f) {
    return static_cast<std::uint16_t>(f[3] << 8 | f[4]);
}

Answer ack(std::uint8_t command, bool changed = false) {
    return Answer{{ack_frame(command)}, changed};
}

Answer refuse(std::uint8_t command) {
    return Answer{{negative_reply(command)}, false};
}

DateStamp date_from_text(const char* text) {
    DateStamp date{};
    std::copy_n(text, date_stamp_size, date.begin());
    return date;
}

}  // namespace

std::size_t keymap_length(int model) {
    switch (model) {
        case 1:
            return 192;
        case 2:
            return 160;
        default:
            return 0;
    }
}

std::uint8_t model_flag(int model) {
    return model == 1 ? 0 : 1;
}

bool model_has_setting(int model, std::uint8_t item) {
    switch (item) {
        case item_msr_type:
            return model >= 1 && model <= 4;
        case item_key_lockout:
            return model >= 1 && model <= 3;
        case item_op_key:
            return model == 1;
        case item_key_input:
            return model == 1 || model == 2;
        default:
            return false;
    }
}

KeyboardState initial_state(int model) {
    KeyboardState state;
    state.model = model;
    // A recognisable key map: byte i holds i (Sparrow) or 0x40 + i (ReedKey PAD).
    std::size_t length = keymap_length(model);
    std::uint8_t base = model == 1 ? 0x00 : 0x40;
    for (std::size_t i = 0; i < length; ++i) {
        state.keymap.push_back(static_cast<std::uint8_t>(base + i));
    }
    // Values that differ from the settings tool's own initial values, so a read shows.
    const std::pair<std::uint8_t, std::uint8_t> defaults[] = {
        {item_msr_type, 4}, {item_key_lockout, 1}, {item_op_key, 255}, {item_key_input, 0}};
    for (auto [item, value] : defaults) {
        if (model_has_setting(model, item)) {
            state.settings[item] = value;
        }
    }
    state.keymap_date = date_from_text("2000-01-01");
    state.firmware_date = date_from_text("2000-01-01");
    state.firmware_image.assign(firmware_image_size, 0xFF);
    static const std::array<std::uint8_t, 2> versions[] = {
        {0x01, 0x2A}, {0x02, 0x10}, {0x03, 0x05}, {0x04, 0x01}};
    if (model >= 1 && model <= 4) {
        state.version = versions[model - 1];
    }
    return state;
}

Frame ack_frame(std::uint8_t command) {
    return hidlink::make_frame(command, {});
}

Frame negative_reply(std::uint8_t command) {
    const std::uint8_t payload[] = {command};
    return hidlink::make_frame(hidlink::negative_reply_command, payload);
}

Keyboard::Keyboard(KeyboardState initial) : state_(std::move(initial)) {}

void Keyboard::set_state(KeyboardState state) {
    state_ = std::move(state);
}

void Keyboard::power_off() {
    keymap_write_ = KeymapWrite{};
    firmware_ = FirmwareDownload{};
}

Answer Keyboard::answer(const Frame& request, const AnswerOptions& options) {
    const std::uint8_t command = request[1];
    if (!well_formed(request)) {
        return refuse(command);
    }
    const std::uint8_t length = request[2];
    switch (command) {
        case 0x00:
            return length == 3 ? settings_set(request) : refuse(command);
        case 0x01:
            return length == 2 ? settings_get(request) : refuse(command);
        case 0x02:  // key click on: 01, click
            if (length != 3 || request[3] != 0x01) {
                return refuse(command);
            }
            state_.click = request[4];
            return ack(command, true);
        case 0x03:  // key click off
            if (length != 2 || request[3] != 0x00) {
                return refuse(command);
            }
            state_.click = -1;
            return ack(command, true);
        case 0x04:  // buzzer on: pattern code (1 one-shot, 2 and 4 lasting), sound
            if (length != 3 || (request[3] != 0x01 && request[3] != 0x02 && request[3] != 0x04)) {
                return refuse(command);
            }
            state_.buzzer = BuzzerState{true, request[3], request[4]};
            return ack(command, true);
        case 0x05:  // buzzer off
            if (length != 2 || request[3] != 0x00) {
                return refuse(command);
            }
            state_.buzzer = BuzzerState{};
            return ack(command, true);
        case 0x08:
            return length == 12 ? date_stamp(request) : refuse(command);
        case 0x10: {  // version query: ACK, then the version frame
            if (length != 2 || request[3] != 0x00) {
                return refuse(command);
            }
            Answer answer = ack(command);
            answer.replies.push_back(hidlink::make_frame(0x10, state_.version));
            return answer;
        }
        case 0x11:
            return length == 2 ? keymap_read(request, options) : refuse(command);
        case 0x20:
            return firmware(request);
        case 0x21:
            return keymap_write(request);
        default:
            return refuse(command);
    }
}

Answer Keyboard::keymap_read(const Frame& request, const AnswerOptions& options) {
    const std::size_t length = state_.keymap.size();
    if (length == 0 || request[3] != model_flag(state_.model)) {
        return refuse(0x11);
    }
    Answer answer = ack(0x11);
    answer.replies.push_back(
        hidlink::make_start_frame(0x11, model_flag(state_.model), hidlink::sum16(state_.keymap)));
    const std::size_t frames = length / hidlink::data_bytes_per_frame;
    std::size_t sent = frames;
    if (options.keymap_data_frames >= 0) {
        sent = std::min(frames, static_cast<std::size_t>(options.keymap_data_frames));
    }
    for (std::size_t i = 0; i < sent; ++i) {
        answer.replies.push_back(hidlink::make_data_frame(
            0x11, std::span(state_.keymap)
                      .subspan(i * hidlink::data_bytes_per_frame, hidlink::data_bytes_per_frame)));
    }
    // A shortened read stops dead, as a keyboard that lost frames would: no end frame.
    if (options.keymap_data_frames < 0) {
        answer.replies.push_back(hidlink::make_end_frame(0x11));
    }
    return answer;
}

Answer Keyboard::keymap_write(const Frame& request) {
    const std::uint8_t command = 0x21;
    const std::uint8_t length = request[2];
    const std::size_t keymap_size = state_.keymap.size();
    if (keymap_size == 0) {
        return refuse(command);
    }
    switch (sub_code(request)) {
        case 0x0000:  // start: flag, sum high, sum low
            if (length != 6 || request[5] != model_flag(state_.model)) {
                keymap_write_ = KeymapWrite{};
                return refuse(command);
            }
            keymap_write_ =
                KeymapWrite{true, static_cast<std::uint16_t>(request[6] << 8 | request[7]), {}};
            return ack(command);
        case 0x0001:  // data: 32 bytes, kept in order
            if (length != 35 || !keymap_write_.started ||
                keymap_write_.received.size() + hidlink::data_bytes_per_frame > keymap_size) {
                keymap_write_ = KeymapWrite{};
                return refuse(command);
            }
            keymap_write_.received.insert(keymap_write_.received.end(), request.begin() + 5,
                                          request.begin() + 5 + hidlink::data_bytes_per_frame);
            return ack(command);
        case 0x00FF: {  // end: the received key map replaces the kept one if it is whole
            KeymapWrite write = std::move(keymap_write_);
            keymap_write_ = KeymapWrite{};
            if (length != 3 || !write.started || write.received.size() != keymap_size ||
                hidlink::sum16(write.received) != write.sum) {
                return refuse(command);
            }
            state_.keymap = std::move(write.received);
            return ack(command, true);
        }
        default:
            return refuse(command);
    }
}

Answer Keyboard::firmware(const Frame& request) {
    const std::uint8_t command = 0x20;
    const std::uint8_t length = request[2];
    switch (sub_code(request)) {
        case 0x00AA: {  // init: fixed bytes 00 05 50
            if (length != 6 || request[5] != 0x00 || request[6] != 0x05 || request[7] != 0x50) {
                return refuse(command);
            }
            firmware_ = FirmwareDownload{};
            return ack(command);
        }
        case 0x0000:  // start: flag, image sum (not checked: a cancelled download ends early)
            if (length != 6) {
                return refuse(command);
            }
            firmware_ = FirmwareDownload{true, 0, {}};
            firmware_.image.assign(firmware_image_size, 0xFF);
            return ack(command);
        case 0x0001: {  // data block k: image bytes 32k … 32k + 31
            if (length != 35 || !firmware_.started || firmware_.blocks >= firmware_block_count) {
                return refuse(command);
            }
            std::copy_n(request.begin() + 5, hidlink::data_bytes_per_frame,
                        firmware_.image.begin() + firmware_.blocks * hidlink::data_bytes_per_frame);
            ++firmware_.blocks;
            return ack(command);
        }
        case 0x00FF: {  // end: the image received so far (0xFF beyond it) is the firmware
            FirmwareDownload download = std::move(firmware_);
            firmware_ = FirmwareDownload{};
            if (length != 3 || !download.started) {
                return refuse(command);
            }
            state_.firmware_image = std::move(download.image);
            state_.firmware_blocks = download.blocks;
            return ack(command, true);
        }
        default:
            return refuse(command);
    }
}

Answer Keyboard::settings_get(const Frame& request) {
    const std::uint8_t item = request[3];
    auto it = state_.settings.find(item);
    if (it == state_.settings.end()) {
        return refuse(0x01);
    }
    Answer answer = ack(0x01);
    const std::uint8_t payload[] = {item, it->second};
    answer.replies.push_back(hidlink::make_frame(0x01, payload));
    return answer;
}

Answer Keyboard::settings_set(const Frame& request) {
    const std::uint8_t item = request[3];
    auto it = state_.settings.find(item);
    // The MSR type reports the fitted reader; it cannot be written.
    if (it == state_.settings.end() || item == item_msr_type) {
        return refuse(0x00);
    }
    it->second = request[4];
    return ack(0x00, true);
}

Answer Keyboard::date_stamp(const Frame& request) {
    DateStamp date{};
    std::copy_n(request.begin() + 4, date_stamp_size, date.begin());
    switch (request[3]) {
        case date_item_keymap:
            state_.keymap_date = date;
            return ack(0x08, true);
        case date_item_firmware:
            state_.firmware_date = date;
            return ack(0x08, true);
        default:
            return refuse(0x08);
    }
}

}  // namespace simulator
