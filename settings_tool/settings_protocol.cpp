#include "settings_tool/settings_protocol.h"

#include <array>

#include "hidlink/transfer.h"

namespace settings_tool {

namespace {

constexpr std::array sparrow_read = {Item::msr_type, Item::key_lockout, Item::key_input,
                                     Item::op_key};
constexpr std::array sparrow_written = {Item::key_lockout, Item::key_input, Item::op_key};

std::uint8_t code(Item item) {
    return static_cast<std::uint8_t>(item);
}

// Items 1 … count of a model's list; the lists share one order, so each model's is a prefix.
std::size_t item_count(std::int16_t model_selector) {
    switch (model_selector) {
        case sparrow_selector:
            return 4;
        case reed_selector:
            return 3;
        case larch_selector:
            return 2;
        default:
            return 1;
    }
}

}  // namespace

hidlink::Frame get_request(Item item) {
    const std::uint8_t payload[] = {code(item)};
    return hidlink::make_frame(get_command, payload);
}

hidlink::Frame set_request(Item item, std::uint8_t value) {
    const std::uint8_t payload[] = {code(item), value};
    return hidlink::make_frame(set_command, payload);
}

bool accept_value_frame(const hidlink::Frame& reply) {
    return hidlink::is_value_frame(reply);
}

std::uint32_t failure_bit(Item item) {
    switch (item) {
        case Item::msr_type:
            return get_msr_type_failed;
        case Item::key_lockout:
            return get_key_lockout_failed;
        case Item::key_input:
            return get_key_input_failed;
        case Item::op_key:
            return get_op_key_failed;
    }
    return 0;
}

std::span<const Item> items_read(std::int16_t model_selector) {
    return std::span<const Item>(sparrow_read).first(item_count(model_selector));
}

std::span<const Item> items_written(std::int16_t model_selector) {
    return std::span<const Item>(sparrow_written).first(item_count(model_selector) - 1);
}

namespace {

template <typename Values>
auto& value_of(Values& values, Item item) {
    switch (item) {
        case Item::msr_type:
            return values.msr_type;
        case Item::key_lockout:
            return values.key_lockout;
        case Item::op_key:
            return values.op_key;
        case Item::key_input:
            break;
    }
    return values.key_input;
}

}  // namespace

std::uint16_t& SettingsValues::operator[](Item item) {
    return value_of(*this, item);
}

std::uint16_t SettingsValues::operator[](Item item) const {
    return value_of(*this, item);
}

bool SettingsSession::read_item(Item item) {
    // The ACK, then the value frame; the second is read whatever the first gave, so neither
    // is left queued for the next item.
    std::array<hidlink::ReplyRead, 2> replies{};
    hidlink::exchange_on_open_link(link_, get_request(item), replies, hidlink::settings_timeout_ms);
    const hidlink::ReplyRead& ack = replies[0];
    const hidlink::ReplyRead& value = replies[1];
    if (!ack.received || !hidlink::accept_reply(ack.frame) || !value.received ||
        !accept_value_frame(value.frame)) {
        settle_after_failure();
        return false;
    }
    values[item] = value.frame[4];
    return true;
}

void SettingsSession::settle_after_failure() {
    // The keyboard's replies may be out of step with the requests: a late ACK and value frame
    // taken as the next item's would give it this item's value, which OK then writes into it.
    // Nothing tells the items' value frames apart, so wait until the keyboard is quiet.
    hidlink::drop_waiting_replies(link_, settle_ms);
}

bool SettingsSession::write_item(Item item) {
    std::array<hidlink::ReplyRead, 1> reply{};
    auto value = static_cast<std::uint8_t>(values[item] & 0xFF);
    hidlink::exchange_on_open_link(link_, set_request(item, value), reply,
                                   hidlink::settings_timeout_ms);
    if (!reply[0].received || !hidlink::accept_reply(reply[0].frame)) {
        settle_after_failure();
        return false;
    }
    return true;
}

std::uint32_t SettingsSession::read_all() {
    link_.model_selector = model_selector;
    if (!link_.find_and_open()) {
        for (Item item : items_read(model_selector)) {
            unread_ |= failure_bit(item);
        }
        return get_not_found;
    }
    link_.begin_phase(phase_event);
    std::uint32_t result = 0;
    for (Item item : items_read(model_selector)) {
        if (!read_item(item)) {
            result |= failure_bit(item);
        }
    }
    link_.close();
    for (Item item : items_read(model_selector)) {
        unread_ = (unread_ & ~failure_bit(item)) | (result & failure_bit(item));
    }
    return result;
}

std::uint32_t SettingsSession::write_all() {
    link_.model_selector = model_selector;
    if (!link_.find_and_open()) {
        return set_not_found;
    }
    link_.begin_phase(phase_event);
    bool failed = false;
    for (Item item : items_written(model_selector)) {
        if ((unread_ & failure_bit(item)) == 0) {
            failed |= !write_item(item);
        }
    }
    link_.close();
    return failed ? set_failed : set_ok;
}

}  // namespace settings_tool
