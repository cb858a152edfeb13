#pragma once
// The control command that makes a keyboard send an input report of its own, as a key press,
// a touch or a card swipe does:
//
//   report <model> <byte> <byte> …
//
// Bytes are two hex digits each, separated by blanks or commas, at most one report (38
// bytes); the rest of the report is zero.
#include <string>
#include <string_view>

#include "hidlink/frame.h"

namespace simulator {

bool is_input_report_command(std::string_view command);

// False (with why) when the command is malformed; `model` is not checked for presence.
bool parse_input_report(std::string_view command, int& model, hidlink::Frame& report,
                        std::string& error);

}  // namespace simulator
