#pragma once
// Lines of the frame log: one per frame in either direction, and one per event (plug, unplug,
// fault). Times are seconds since the simulation's start with three decimals.
//   1.204 1 in 00 21 06 00 00 00 BF 40 26 00 …
//   1.205 1 out 00 21 01 22 00 …
//   3.000 1 event unplug
#include <cstdint>
#include <string>
#include <string_view>

#include "hidlink/frame.h"

namespace simulator {

enum class Direction { in, out };  // in: PC → keyboard, out: keyboard → PC

std::string log_time(std::uint64_t elapsed_ms);  // "1.204"
std::string frame_line(std::uint64_t elapsed_ms, int model, Direction direction,
                       const hidlink::Frame& frame);
std::string event_line(std::uint64_t elapsed_ms, int model, std::string_view text);

// A frame line read back (tests and tools that watch the log).
struct LoggedFrame {
    double seconds = 0;
    int model = 0;
    Direction direction = Direction::in;
    hidlink::Frame frame{};
};

// False for an event line or anything that is not a frame line.
bool parse_frame_line(std::string_view line, LoggedFrame& logged);

}  // namespace simulator
