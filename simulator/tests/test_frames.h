#pragma once
// Small helpers shared by the simulator's tests.
#include <cstdint>
#include <initializer_list>
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
