#include "simulator/frame_log.h"

#include "simulator/tokens.h"

namespace simulator {

std::string log_time(std::uint64_t elapsed_ms) {
    std::string millis = std::to_string(elapsed_ms % 1000);
    return std::to_string(elapsed_ms / 1000) + "." + std::string(3 - millis.size(), '0') + millis;
}

std::string frame_line(std::uint64_t elapsed_ms, int model, Direction direction,
                       const hidlink::Frame& frame) {
    return log_time(elapsed_ms) + " " + std::to_string(model) +
           (direction == Direction::in ? " in " : " out ") + hex_text(frame);
}

std::string event_line(std::uint64_t elapsed_ms, int model, std::string_view text) {
    return log_time(elapsed_ms) + " " + std::to_string(model) + " event " + std::string(text);
}

}  // namespace simulator
