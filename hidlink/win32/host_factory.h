#pragma once
// The Host every program uses: kbdsim.exe's simulated keyboards when the environment variable
// KBDSIM_PIPE names its pipe, otherwise the machine's real HID devices.
#include <memory>

#include "hidlink/device.h"

namespace hidlink {

std::unique_ptr<Host> make_host();

}  // namespace hidlink
