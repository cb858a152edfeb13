#pragma once
// Phases built on the link: a single request and reply, the three-phase transfer from PC to
// keyboard and the one-phase transfer from keyboard to PC.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "hidlink/link.h"

namespace hidlink {

enum class PhaseResult {
    no_device,  // not found at the start of the phase; nothing was written
    no_reply,   // the read failed or timed out
    refused,    // a reply came but failed accept-reply
    accepted,
};

// Open, begin the phase, write `request`, read one reply into `reply`, close, accept-reply.
PhaseResult request_phase(Link& link, const char* event_name, const Frame& request, Frame& reply,
                          std::uint32_t timeout_ms = default_timeout_ms);

// One reply slot of an exchange on an open link.
struct ReplyRead {
    Frame frame{};
    bool received = false;
};

// On an open link inside its phase: reads and drops replies until none arrives for
// `quiet_ms` (0: only those already waiting), at most 64 of them.
void drop_waiting_replies(Link& link, std::uint32_t quiet_ms);

// On a link that is already open and inside its phase: drops every reply that is already
// waiting (a late answer to an earlier request would otherwise be taken as this request's),
// writes `request`, then reads `replies.size()` replies, each bounded by `timeout_ms`. Every
// slot is read whatever the earlier ones gave, so no reply is left behind for the next request.
// Replies are not examined: the caller applies its own acceptance rule to each.
void exchange_on_open_link(Link& link, const Frame& request, std::span<ReplyRead> replies,
                           std::uint32_t timeout_ms);

struct OutgoingTransfer {
    std::uint8_t command = 0;
    std::uint8_t flag = 0;               // start frame byte 5
    std::span<const std::uint8_t> data;  // a whole number of 32-byte blocks
    const char* start_event = "ZELDLStart";
    const char* data_event = "ZELDLStart";
    const char* end_event = "ZELDLEnd";
    std::uint32_t timeout_ms = default_timeout_ms;
    std::uint32_t start_reply_timeout_ms = default_timeout_ms;
    // After each accepted data frame, with the data bytes sent so far.
    std::function<void(std::size_t bytes_sent)> on_progress;
    // Before each data frame; true leaves the data loop (the end frame is still sent).
    std::function<bool()> cancel_requested;
    // Before the start phase, after it and after each data reply (not once the end frame is
    // accepted: the keyboard then holds the data); false ends the transfer as over its budget.
    std::function<bool()> within_budget;
};

enum class TransferResult { ok, start_failed, data_failed, end_failed, over_budget };

TransferResult send_transfer(Link& link, const OutgoingTransfer& transfer);

// Keyboard to PC in one phase: open, write `request`, read its ACK, then the keyboard's start
// frame, `frame_count` data frames and the end frame, each checked. Once the start frame has
// arrived `buffer` is set to 0xFF throughout, then data frame i fills bytes 32i … 32i+31
// (buffer must hold 32 × frame_count bytes). False on any failure; the device is closed.
bool receive_transfer(Link& link, const char* event_name, const Frame& request,
                      std::size_t frame_count, std::span<std::uint8_t> buffer,
                      std::uint32_t timeout_ms = default_timeout_ms);

}  // namespace hidlink
