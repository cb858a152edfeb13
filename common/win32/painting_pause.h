#pragma once
// A pause of the GUI thread that keeps its windows painted.
#include <cstdint>

#include "common/clock.h"

namespace common::win32 {

// Waits `pause_ms` on `clock`. Meanwhile windows are repainted and messages other programs send
// are answered; nothing else is taken from the queue, so the dialogs stay blocked.
void pause_painting(Clock& clock, std::uint32_t pause_ms);

}  // namespace common::win32
