#pragma once
// The named pipes of kbdsim.exe, shared by its server and the sim backend:
//   \\.\pipe\<name>         control pipe: one request message, one answer message
//   \\.\pipe\<name>.if<id>  one simulated HID interface: one 38-byte report per message
// Control requests are the simulator's control commands ("unplug 1", "fault ...", "quit"),
// answered "ok" or "error: <why>", and "list", answered with the interface listing
// (hidlink/sim_listing.h) of the plugged interfaces.
#include <string>

namespace hidlink::win32 {

constexpr const char* sim_pipe_variable = "KBDSIM_PIPE";
constexpr const char* list_request = "list";

std::string control_pipe_path(const std::string& name);
std::string interface_pipe_path(const std::string& name, int interface_id);

enum class ControlResult { answered, no_simulator, failed };

// Sends one request over the control pipe and reads the whole answer. no_simulator when no
// kbdsim serves `name`; failed when the exchange broke off.
ControlResult control_request(const std::string& name, const std::string& request,
                              std::string& answer);

}  // namespace hidlink::win32
