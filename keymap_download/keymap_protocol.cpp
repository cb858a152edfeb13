#include "keymap_download/keymap_protocol.h"

#include <algorithm>
#include <span>

#include "hidlink/transfer.h"

namespace keymap_download {

hidlink::Frame keymap_read_request(std::int16_t model_selector) {
    const std::uint8_t payload[] = {model_flag(model_selector)};
    return hidlink::make_frame(keymap_read_command, payload);
}

hidlink::Frame date_stamp_frame(std::string_view date_text) {
    std::uint8_t payload[11] = {keymap_date_item};
    // Like a C string copy: the text ends at its first NUL, zero bytes fill the rest.
    for (std::size_t i = 0; i < 10 && i < date_text.size() && date_text[i] != '\0'; ++i) {
        payload[1 + i] = static_cast<std::uint8_t>(date_text[i]);
    }
    return hidlink::make_frame(date_stamp_command, payload);
}

int progress_value(std::size_t bytes_sent, std::size_t keymap_length) {
    if (keymap_length == 0) {
        return 0;
    }
    return static_cast<int>(bytes_sent * progress_range / keymap_length);
}

namespace {

// A record whose sizes would reach past the buffers is refused instead of trusted.
bool record_fits(const DownloadRecord& record) {
    return record.bytes_per_frame == hidlink::data_bytes_per_frame &&
           record.keymap_length <= file_keymap_size &&
           record.frame_count * hidlink::data_bytes_per_frame == record.keymap_length;
}

}  // namespace

KeymapSession::KeymapSession(hidlink::Link& link, common::Clock& clock)
    : link_(link), clock_(clock) {
    file_keymap.fill(0xFF);
    keymap_buffer.fill(0xFF);
}

void KeymapSession::preset_file_keymap() {
    std::size_t length = std::min(record.keymap_length, file_keymap.size());
    std::fill_n(file_keymap.begin(), length, std::uint8_t{0xFF});
}

bool KeymapSession::read_keymap() {
    bool expected = false;
    if (!reading_.compare_exchange_strong(expected, true)) {
        return false;
    }
    bool ok = false;
    if ((record.model_selector == 1 || record.model_selector == 2) && record_fits(record)) {
        link_.model_selector = record.model_selector;
        ok =
            hidlink::receive_transfer(link_, read_event, keymap_read_request(record.model_selector),
                                      record.frame_count, keymap_buffer);
    }
    reading_.store(false);
    return ok;
}

CompareOutcome KeymapSession::compare() {
    if (!read_keymap()) {
        return CompareOutcome::read_failed;
    }
    std::size_t length = std::min(record.keymap_length, file_keymap.size());
    return std::equal(file_keymap.begin(), file_keymap.begin() + length, keymap_buffer.begin())
               ? CompareOutcome::same
               : CompareOutcome::different;
}

WriteOutcome KeymapSession::write_keymap(const WriteHooks& hooks) {
    if (record.model_selector == 0) {
        return WriteOutcome::device_not_selected;
    }
    const std::uint64_t started = clock_.now_ms();
    busy_.store(true);
    if (hooks.on_writing) {
        hooks.on_writing();
    }
    WriteOutcome outcome = WriteOutcome::start_failed;
    if (record_fits(record)) {
        link_.model_selector = record.model_selector;
        std::span<const std::uint8_t> keymap(file_keymap);
        const std::size_t keymap_length = record.keymap_length;

        hidlink::OutgoingTransfer transfer;
        transfer.command = keymap_write_command;
        transfer.flag = model_flag(record.model_selector);
        transfer.data = keymap.first(record.frame_count * hidlink::data_bytes_per_frame);
        transfer.start_event = write_start_event;
        transfer.data_event = write_data_event;
        transfer.end_event = write_end_event;
        // record_fits made the data exactly the key map length, which the start frame sums.
        if (hooks.on_progress) {
            transfer.on_progress = [&hooks, keymap_length](std::size_t bytes_sent) {
                hooks.on_progress(progress_value(bytes_sent, keymap_length));
            };
        }
        if (hooks.batch_budget) {
            transfer.within_budget = [this, started] {
                return clock_.now_ms() - started <= batch_write_budget_ms;
            };
        }
        if (hooks.hold_interruptions) {
            hooks.hold_interruptions(true);
        }
        const hidlink::TransferResult result = hidlink::send_transfer(link_, transfer);
        if (hooks.hold_interruptions) {
            hooks.hold_interruptions(false);
        }
        switch (result) {
            case hidlink::TransferResult::ok:
                outcome = WriteOutcome::ok;
                break;
            case hidlink::TransferResult::start_failed:
                outcome = WriteOutcome::start_failed;
                break;
            case hidlink::TransferResult::data_failed:
                outcome = WriteOutcome::data_failed;
                break;
            case hidlink::TransferResult::end_failed:
                outcome = WriteOutcome::end_failed;
                break;
            case hidlink::TransferResult::over_budget:
                outcome = WriteOutcome::timeout;
                break;
        }
    }
    busy_.store(false);
    return outcome;
}

void KeymapSession::pause_before_date_stamp() {
    clock_.sleep_ms(date_stamp_pause_ms);
}

bool KeymapSession::send_date_stamp(std::string_view date_text) {
    link_.model_selector = record.model_selector;
    hidlink::Frame reply{};
    return hidlink::request_phase(link_, date_stamp_event, date_stamp_frame(date_text), reply) ==
           hidlink::PhaseResult::accepted;
}

}  // namespace keymap_download
