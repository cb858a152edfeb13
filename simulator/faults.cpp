#include "simulator/faults.h"

#include "simulator/tokens.h"

namespace simulator {

namespace {

constexpr std::uint32_t max_count = 1'000'000'000;

bool parse_match(std::string_view word, FrameMatch& match) {
    int* fields[] = {&match.command, &match.byte3, &match.byte4};
    std::size_t field = 0;
    while (true) {
        std::size_t colon = word.find(':');
        std::uint8_t value = 0;
        if (field == 3 || !parse_hex_byte(word.substr(0, colon), value)) {
            return false;
        }
        *fields[field++] = value;
        if (colon == std::string_view::npos) {
            return true;
        }
        word.remove_prefix(colon + 1);
    }
}

// "<byte>=<hex>": a byte index 0 … 37 (decimal) and its new value.
bool parse_byte_patch(std::string_view word, BytePatch& patch) {
    std::size_t equals = word.find('=');
    std::uint32_t index = 0;
    if (equals == std::string_view::npos ||
        !parse_decimal(word.substr(0, equals), hidlink::frame_size - 1, index)) {
        return false;
    }
    patch.index = static_cast<std::uint8_t>(index);
    return parse_hex_byte(word.substr(equals + 1), patch.value);
}

// After "patch": [<k>] <byte>=<hex>... [fixsum].
bool parse_patch(const std::vector<std::string_view>& words, std::size_t& i, Fault& parsed,
                 std::string& error) {
    parsed.argument = 1;
    std::uint32_t reply = 0;
    if (i < words.size() && parse_decimal(words[i], max_count, reply)) {
        if (reply == 0) {
            error = "patch counts replies from 1";
            return false;
        }
        parsed.argument = reply;
        ++i;
    }
    BytePatch patch;
    while (i < words.size() && words[i].find('=') != std::string_view::npos) {
        if (!parse_byte_patch(words[i], patch)) {
            error = "patch needs bytes like 1=81 (byte 0 to 37 = hex value)";
            return false;
        }
        parsed.patches.push_back(patch);
        ++i;
    }
    if (parsed.patches.empty()) {
        error = "patch needs bytes like 1=81 (byte 0 to 37 = hex value)";
        return false;
    }
    if (i < words.size() && words[i] == "fixsum") {
        parsed.fix_checksum = true;
        ++i;
    }
    return true;
}

}  // namespace

bool parse_fault(std::string_view text, Fault& fault, std::string& error) {
    std::vector<std::string_view> words = split_words(text);
    Fault parsed;
    parsed.text = std::string(trim(text));
    std::size_t i = 0;
    auto number_after = [&](std::string_view what, std::uint32_t min, std::uint32_t& value) {
        if (i >= words.size() || !parse_decimal(words[i], max_count, value) || value < min) {
            error = std::string(what) + " needs a number" + (min > 0 ? " of at least 1" : "");
            return false;
        }
        ++i;
        return true;
    };

    if (words.empty()) {
        error =
            "fault needs an action (nak, silent, badsum, delay, short, unplug, unplug-after, "
            "patch)";
        return false;
    }
    std::string_view action = words[i++];
    if (action == "nak") {
        parsed.action = FaultAction::nak;
    } else if (action == "silent") {
        parsed.action = FaultAction::silent;
    } else if (action == "badsum") {
        parsed.action = FaultAction::bad_checksum;
        parsed.argument = 1;
        std::uint32_t reply = 0;
        if (i < words.size() && parse_decimal(words[i], max_count, reply)) {
            if (reply == 0) {
                error = "badsum counts replies from 1";
                return false;
            }
            parsed.argument = reply;
            ++i;
        }
    } else if (action == "delay") {
        parsed.action = FaultAction::delay;
        if (!number_after("delay", 0, parsed.argument)) {
            return false;
        }
    } else if (action == "short") {
        parsed.action = FaultAction::short_read;
        if (!number_after("short", 0, parsed.argument)) {
            return false;
        }
        parsed.match.command = 0x11;  // only a key map read has data frames to drop
    } else if (action == "patch") {
        parsed.action = FaultAction::patch;
        if (!parse_patch(words, i, parsed, error)) {
            return false;
        }
    } else if (action == "unplug") {
        parsed.action = FaultAction::unplug;
    } else if (action == "unplug-after") {
        parsed.action = FaultAction::unplug_after;
    } else {
        error = "unknown fault action: " + std::string(action);
        return false;
    }

    bool count_given = false;
    while (i < words.size()) {
        std::string_view word = words[i++];
        if (word == "on") {
            FrameMatch match;
            if (i >= words.size() || !parse_match(words[i], match)) {
                error = "on needs a frame like 21, 21:00:00 or 08:05";
                return false;
            }
            ++i;
            if (parsed.action == FaultAction::short_read && match.command != 0x11) {
                error = "short applies to the key map read (on 11) only";
                return false;
            }
            parsed.match = match;
        } else if (word == "at") {
            if (!number_after("at", 1, parsed.at)) {
                return false;
            }
        } else if (word == "once" || word == "always" || word == "times") {
            if (count_given) {
                error = "give only one of once, always, times <n>";
                return false;
            }
            count_given = true;
            parsed.times = word == "once" ? 1 : 0;
            if (word == "times" && !number_after("times", 1, parsed.times)) {
                return false;
            }
        } else {
            error = "unexpected word in fault: " + std::string(word);
            return false;
        }
    }
    fault = std::move(parsed);
    return true;
}

void apply_patch(const Fault& fault, hidlink::Frame& reply) {
    for (const BytePatch& patch : fault.patches) {
        if (patch.index < reply.size()) {
            reply[patch.index] = patch.value;
        }
    }
    const std::size_t length = reply[2];
    if (fault.fix_checksum && length >= 1 && length <= hidlink::max_payload + 1) {
        reply[2 + length] = hidlink::frame_checksum(reply);
    }
}

bool frame_matches(const FrameMatch& match, const hidlink::Frame& frame) {
    return (match.command < 0 || frame[1] == match.command) &&
           (match.byte3 < 0 || frame[3] == match.byte3) &&
           (match.byte4 < 0 || frame[4] == match.byte4);
}

std::vector<Fault> faults_firing(std::vector<Fault>& faults, const hidlink::Frame& frame) {
    std::vector<Fault> firing;
    for (auto it = faults.begin(); it != faults.end();) {
        Fault& fault = *it;
        if (frame_matches(fault.match, frame) && ++fault.matched >= fault.at) {
            ++fault.fired;
            firing.push_back(fault);
            if (fault.times != 0 && fault.fired >= fault.times) {
                it = faults.erase(it);
                continue;
            }
        }
        ++it;
    }
    return firing;
}

}  // namespace simulator
