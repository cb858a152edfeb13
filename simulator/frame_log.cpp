#include "simulator/frame_log.h"

#include <sstream>

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

bool parse_frame_line(std::string_view line, LoggedFrame& logged) {
    std::istringstream words{std::string(line)};
    std::string direction;
    LoggedFrame read;
    if (!(words >> read.seconds >> read.model >> direction) ||
        (direction != "in" && direction != "out")) {
        return false;
    }
    read.direction = direction == "in" ? Direction::in : Direction::out;
    unsigned byte = 0;
    for (std::size_t i = 0; i < read.frame.size(); ++i) {
        if (!(words >> std::hex >> byte) || byte > 0xFF) {
            return false;
        }
        read.frame[i] = static_cast<std::uint8_t>(byte);
    }
    logged = read;
    return true;
}

}  // namespace simulator
