#pragma once
// The state file: what every keyboard keeps, as text a person can read and edit. One section
// per model; keys may come in any order and missing keys keep their current values.
//
//   [model 1]
//   plugged = yes
//   keymap = 00 01 02 … (32 bytes a line, in order; the lines together hold the whole key map)
//   msr-type = 4
//   key-lockout = 1
//   op-key = 255
//   key-input = 0
//   keymap-date = "2011-01-01"
//   firmware-date = "2000-01-01"
//   version = 01 2A
//   click = off
//   buzzer = off
//   firmware-blocks = 2048
//   firmware-sum = 0000
//   firmware = 0000: 32 bytes (only rows that are not all FF; given rows replace the image)
#include <string>
#include <string_view>
#include <vector>

#include "simulator/keyboard.h"

namespace simulator {

std::string format_state(const std::vector<KeyboardState>& keyboards);

// Applies the text to `keyboards` (one entry per model present). Sections of models that are
// not present are ignored. On any error `keyboards` is left as it was and `error` names the
// line and the fault.
bool parse_state(std::string_view text, std::vector<KeyboardState>& keyboards, std::string& error);

// Reads a whole state file (at most a few MB); false with a message when it cannot be read.
bool read_text_file(const std::string& path, std::string& text, std::string& error);
// Writes `path` by writing a temporary file beside it and renaming it over `path`.
bool write_text_file_atomic(const std::string& path, const std::string& text, std::string& error);

}  // namespace simulator
