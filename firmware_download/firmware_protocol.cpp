#include "firmware_download/firmware_protocol.h"

#include <cstdio>
#include <span>

#include "hidlink/transfer.h"

namespace firmware_download {

hidlink::Frame init_frame() {
    const std::uint8_t payload[] = {0x00, 0xAA, 0x00, 0x05, 0x50};
    return hidlink::make_frame(firmware_command, payload);
}

hidlink::Frame date_stamp_frame(std::string_view date_text) {
    std::uint8_t payload[11] = {firmware_date_item};
    // Like a C string copy: the text ends at its first NUL, zero bytes fill the rest.
    for (std::size_t i = 0; i < 10 && i < date_text.size() && date_text[i] != '\0'; ++i) {
        payload[1 + i] = static_cast<std::uint8_t>(date_text[i]);
    }
    return hidlink::make_frame(date_stamp_command, payload);
}

hidlink::Frame version_request() {
    const std::uint8_t payload[] = {0x00};
    return hidlink::make_frame(version_command, payload);
}

std::uint16_t image_sum(const FirmwareImage& image) {
    return hidlink::sum16(image);
}

int progress_value(std::size_t blocks_sent) {
    return static_cast<int>(blocks_sent * 32000 / 65536);
}

std::string version_text(std::uint8_t major, std::uint8_t minor) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x.%02x", major, minor);
    return text;
}

std::string version_text(const VersionResult& result) {
    return result.status == VersionStatus::ok ? version_text(result.version[0], result.version[1])
                                              : unknown_version_text;
}

FirmwareSession::FirmwareSession(hidlink::Link& link, common::Clock& clock)
    : link_(link), clock_(clock) {
    image.fill(0xFF);
}

DownloadOutcome FirmwareSession::download(const DownloadHooks& hooks) {
    busy_.store(true);
    if (hooks.on_writing) {
        hooks.on_writing();
    }
    link_.model_selector = model_selector;
    if (hold_interruptions) {
        hold_interruptions(true);
    }
    DownloadOutcome outcome = DownloadOutcome::failed;
    hidlink::Frame reply{};
    if (hidlink::request_phase(link_, init_event, init_frame(), reply) ==
        hidlink::PhaseResult::accepted) {
        clock_.sleep_ms(after_init_pause_ms);

        hidlink::OutgoingTransfer transfer;
        transfer.command = firmware_command;
        transfer.flag = 0x00;
        transfer.data = std::span<const std::uint8_t>(image);
        transfer.start_event = start_event;
        transfer.data_event = data_event;
        transfer.end_event = end_event;
        transfer.start_reply_timeout_ms = hidlink::firmware_start_reply_timeout_ms;
        if (hooks.on_progress) {
            transfer.on_progress = [&hooks](std::size_t bytes_sent) {
                hooks.on_progress(progress_value(bytes_sent / hidlink::data_bytes_per_frame));
            };
        }
        transfer.cancel_requested = [this] { return cancel_.load(); };
        if (hidlink::send_transfer(link_, transfer) == hidlink::TransferResult::ok) {
            outcome = cancel_.load() ? DownloadOutcome::canceled : DownloadOutcome::ended_normally;
        }
    }
    if (hold_interruptions) {
        hold_interruptions(false);
    }
    busy_.store(false);
    return outcome;
}

void FirmwareSession::pause_before_date_stamp() {
    clock_.sleep_ms(date_stamp_pause_ms);
}

bool FirmwareSession::send_date_stamp(std::string_view date_text) {
    link_.model_selector = model_selector;
    hidlink::Frame reply{};
    return hidlink::request_phase(link_, date_stamp_event, date_stamp_frame(date_text), reply) ==
           hidlink::PhaseResult::accepted;
}

VersionResult FirmwareSession::query_version() {
    VersionResult result;
    link_.model_selector = model_selector;
    if (!link_.find_and_open()) {
        result.status = VersionStatus::no_device;
        return result;
    }
    link_.begin_phase(version_event);
    hidlink::ReplyRead replies[2];
    hidlink::exchange_on_open_link(link_, version_request(), replies, hidlink::default_timeout_ms);
    link_.close();
    const hidlink::ReplyRead& ack = replies[0];
    const hidlink::ReplyRead& value = replies[1];
    if (ack.received && hidlink::accept_reply(ack.frame) && value.received &&
        hidlink::is_value_frame(value.frame)) {
        result.status = VersionStatus::ok;
        result.version = {value.frame[3], value.frame[4]};
    }
    return result;
}

}  // namespace firmware_download
