#pragma once
// Small helpers shared by the simulator's tests.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "hidlink/frame.h"
#include "simulator/simulation.h"

namespace simulator::testing {

// A frame from its leading bytes; the rest is zero.
inline hidlink::Frame frame_of(std::initializer_list<std::uint8_t> bytes) {
    hidlink::Frame frame{};
    std::size_t i = 0;
    for (std::uint8_t b : bytes) {
        frame[i++] = b;
    }
    return frame;
}

// Frame bytes as "00 21 06 …", the first `n` of them.
inline std::string hex(const hidlink::Frame& frame, std::size_t n) {
    std::string text;
    char part[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "%02X" : " %02X", frame[i]);
        text += part;
    }
    return text;
}

// The frames the keyboard of `model` answers to `request` (delays ignored).
inline std::vector<hidlink::Frame> send(Simulation& sim, int model, const hidlink::Frame& request,
                                        std::uint64_t now_ms = 0) {
    std::vector<hidlink::Frame> frames;
    for (const Reply& reply : sim.on_frame(model, request, now_ms).replies) {
        frames.push_back(reply.frame);
    }
    return frames;
}

}  // namespace simulator::testing
