#pragma once
// Checks shared by the simulator's fuzz targets: what must hold whatever the simulated keyboard
// was fed. Each aborts (so libFuzzer keeps the input) when the simulation breaks a promise.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hidlink/frame.h"
#include "simulator/simulation.h"
#include "simulator/state_file.h"

namespace sim_checks {

[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "sim check failed: %s%.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

// `detail` (an error message, say) is only looked at when the check fails.
inline void expect(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) {
        fail(what, detail);
    }
}

// A frame the keyboard sends: report ID 0, 1 <= L <= 35, zero padding behind the checksum, and
// the checksum right unless a badsum fault may have spoiled it.
inline void check_reply(const hidlink::Frame& reply, bool checksum_may_be_spoiled) {
    const std::size_t length = reply[2];
    expect(reply[0] == 0x00, "reply with a report ID other than 0");
    expect(length >= 1 && length <= 35, "reply length byte outside 1 ... 35");
    for (std::size_t i = 3 + length; i < reply.size(); ++i) {
        expect(reply[i] == 0x00, "reply padding is not zero");
    }
    if (!checksum_may_be_spoiled) {
        expect(reply[2 + length] == hidlink::frame_checksum(reply), "reply with a bad checksum");
    }
}

// One frame-log line: "<s>.<ms> <model> in|out <38 hex bytes>" or "<s>.<ms> <model> event <text>",
// never more than one line.
inline void check_log_line(std::string_view line) {
    expect(line.find_first_of("\r\n") == std::string_view::npos, "log line holds a line break");
    const std::size_t dot = line.find('.');
    expect(
        dot != std::string_view::npos && dot > 0 && line.size() > dot + 4 && line[dot + 4] == ' ',
        "log line does not start with seconds and three decimals");
    for (std::size_t i = 0; i < dot + 4; ++i) {
        expect(i == dot || (line[i] >= '0' && line[i] <= '9'), "log time is not a number");
    }
    std::string_view rest = line.substr(dot + 5);
    const std::size_t blank = rest.find(' ');
    expect(blank == 1 && rest[0] >= '0' && rest[0] <= '4', "log line without a model 0 ... 4");
    rest.remove_prefix(2);
    if (rest.starts_with("in ") || rest.starts_with("out ")) {
        const std::string_view hex = rest.substr(rest.find(' ') + 1);
        expect(hex.size() == hidlink::frame_size * 3 - 1, "frame log line without 38 bytes");
        for (std::size_t i = 0; i < hex.size(); ++i) {
            const char c = hex[i];
            const bool ok =
                i % 3 == 2 ? c == ' ' : (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
            expect(ok, "frame log bytes are not uppercase hex pairs");
        }
    } else {
        expect(rest.starts_with("event "), "log line is neither a frame nor an event");
    }
}

// Interfaces follow their keyboard's plug state.
inline void check_plug_state(const simulator::Simulation& sim) {
    for (const simulator::InterfaceInfo& info : sim.interfaces()) {
        if (info.owner_model != 0) {
            const simulator::KeyboardState* k = sim.keyboard_state(info.owner_model);
            expect(k != nullptr && k->plugged == info.plugged,
                   "interface plug state differs from its keyboard's");
        }
    }
}

// Whatever a keyboard keeps can be saved and read back: the state file of `sim` parses into
// fresh keyboards of the same models and formats to the same text.
inline void check_state_round_trip(const simulator::Simulation& sim) {
    std::vector<simulator::KeyboardState> kept;
    std::vector<simulator::KeyboardState> fresh;
    for (int model = 1; model <= 4; ++model) {
        if (const simulator::KeyboardState* k = sim.keyboard_state(model)) {
            kept.push_back(*k);
            fresh.push_back(simulator::initial_state(model));
            expect(k->keymap.size() == simulator::keymap_length(model), "key map length changed");
            expect(k->firmware_image.size() == simulator::firmware_image_size,
                   "firmware image size changed");
            expect(k->firmware_blocks <= simulator::firmware_block_count,
                   "more firmware blocks than fit the image");
        }
    }
    const std::string text = simulator::format_state(kept);
    std::string error;
    expect(simulator::parse_state(text, fresh, error), "saved state is refused: ", error);
    expect(fresh == kept, "saved state reads back different");
}

}  // namespace sim_checks
