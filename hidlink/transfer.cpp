#include "hidlink/transfer.h"

#include <algorithm>

namespace hidlink {

PhaseResult request_phase(Link& link, const char* event_name, const Frame& request, Frame& reply,
                          std::uint32_t timeout_ms) {
    if (!link.find_and_open()) {
        return PhaseResult::no_device;
    }
    link.begin_phase(event_name);
    link.write_frame(request, timeout_ms);
    bool received = link.read_frame(reply, timeout_ms);
    link.close();
    if (!received) {
        return PhaseResult::no_reply;
    }
    return accept_reply(reply) ? PhaseResult::accepted : PhaseResult::refused;
}

void drop_waiting_replies(Link& link, std::uint32_t quiet_ms) {
    // Bounded, so a keyboard that keeps talking cannot hold the exchange.
    constexpr int max_stale_replies = 64;
    Frame stale{};
    for (int i = 0; i < max_stale_replies && link.read_frame(stale, quiet_ms); ++i) {
    }
}

void exchange_on_open_link(Link& link, const Frame& request, std::span<ReplyRead> replies,
                           std::uint32_t timeout_ms) {
    // A reply that is waiting completes the read at once; otherwise the read is cancelled after
    // a moment.
    drop_waiting_replies(link, 0);
    link.write_frame(request, timeout_ms);
    for (ReplyRead& slot : replies) {
        slot.received = link.read_frame(slot.frame, timeout_ms);
    }
}

namespace {

// Writes one frame and reads its reply on the open device; true when the reply is accepted.
bool exchange_on_open_device(Link& link, const Frame& request, std::uint32_t write_timeout_ms,
                             std::uint32_t read_timeout_ms) {
    Frame reply{};
    link.write_frame(request, write_timeout_ms);
    return link.read_frame(reply, read_timeout_ms) && accept_reply(reply);
}

// One phase holding a single frame exchange: open, exchange, close.
bool single_frame_phase(Link& link, const char* event_name, const Frame& request,
                        std::uint32_t write_timeout_ms, std::uint32_t read_timeout_ms) {
    if (!link.find_and_open()) {
        return false;
    }
    link.begin_phase(event_name);
    bool accepted = exchange_on_open_device(link, request, write_timeout_ms, read_timeout_ms);
    link.close();
    return accepted;
}

}  // namespace

TransferResult send_transfer(Link& link, const OutgoingTransfer& transfer) {
    auto within_budget = [&transfer] {
        return !transfer.within_budget || transfer.within_budget();
    };

    if (!within_budget()) {
        return TransferResult::over_budget;
    }
    Frame start = make_start_frame(transfer.command, transfer.flag, sum16(transfer.data));
    if (!single_frame_phase(link, transfer.start_event, start, transfer.timeout_ms,
                            transfer.start_reply_timeout_ms)) {
        return TransferResult::start_failed;
    }
    if (!within_budget()) {
        return TransferResult::over_budget;
    }

    if (!link.find_and_open()) {
        return TransferResult::data_failed;
    }
    link.begin_phase(transfer.data_event);
    const std::size_t blocks = transfer.data.size() / data_bytes_per_frame;
    for (std::size_t block = 0; block < blocks; ++block) {
        if (transfer.cancel_requested && transfer.cancel_requested()) {
            break;
        }
        Frame data = make_data_frame(
            transfer.command,
            transfer.data.subspan(block * data_bytes_per_frame, data_bytes_per_frame));
        if (!exchange_on_open_device(link, data, transfer.timeout_ms, transfer.timeout_ms)) {
            link.close();
            return TransferResult::data_failed;
        }
        if (transfer.on_progress) {
            transfer.on_progress((block + 1) * data_bytes_per_frame);
        }
        if (!within_budget()) {
            link.close();
            return TransferResult::over_budget;
        }
    }
    link.close();

    if (!single_frame_phase(link, transfer.end_event, make_end_frame(transfer.command),
                            transfer.timeout_ms, transfer.timeout_ms)) {
        return TransferResult::end_failed;
    }
    // The end frame is accepted: the keyboard holds the data, however long its reply took.
    return TransferResult::ok;
}

bool receive_transfer(Link& link, const char* event_name, const Frame& request,
                      std::size_t frame_count, std::span<std::uint8_t> buffer,
                      std::uint32_t timeout_ms) {
    if (buffer.size() < frame_count * data_bytes_per_frame) {
        return false;
    }
    if (!link.find_and_open()) {
        return false;
    }
    link.begin_phase(event_name);
    link.write_frame(request, timeout_ms);

    Frame frame{};
    bool ok = link.read_frame(frame, timeout_ms) && accept_reply(frame) &&
              link.read_frame(frame, timeout_ms) && is_start_frame(frame);
    if (ok) {
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xFF});
    }
    for (std::size_t i = 0; ok && i < frame_count; ++i) {
        ok = link.read_frame(frame, timeout_ms) && is_data_frame(frame);
        if (ok) {
            std::copy_n(frame.begin() + 5, data_bytes_per_frame,
                        buffer.begin() + i * data_bytes_per_frame);
        }
    }
    ok = ok && link.read_frame(frame, timeout_ms) && is_end_frame(frame);
    link.close();
    return ok;
}

}  // namespace hidlink
