#pragma once
// The named pipes of kbdsim.exe, shared by its server and the sim backend:
//   \\.\pipe\<name>         control pipe: one request message, one answer message
//   \\.\pipe\<name>.if<id>  one simulated HID interface: one 38-byte report per message
// Control requests are the simulator's control commands ("unplug 1", "fault ...", "quit"),
// answered "ok" or "error: <why>", and "list", answered with the interface listing
// (simclient/listing.h) of the plugged interfaces.
#include <windows.h>

#include <string>
#include <vector>

#include "simclient/listing.h"

namespace simclient::win32 {

constexpr const char* sim_pipe_variable = "KBDSIM_PIPE";
constexpr const char* list_request = "list";

std::string control_pipe_path(const std::string& name);
std::string interface_pipe_path(const std::string& name, int interface_id);

// How long a client waits for kbdsim: for a free instance of a busy pipe, and for the whole
// control exchange. kbdsim answers at once; this only bounds a stuck or overloaded one.
constexpr unsigned long pipe_patience_ms = 10000;

// Opens a pipe of kbdsim's for overlapped I/O in message read mode, waiting (up to
// `patience_ms`) while all its instances are busy. INVALID_HANDLE_VALUE when it cannot be
// opened; GetLastError() then tells why (ERROR_FILE_NOT_FOUND: no such pipe).
HANDLE open_sim_pipe(const std::string& path, unsigned long patience_ms = pipe_patience_ms);

enum class ControlResult { answered, no_simulator, failed };

// Sends one request over the control pipe and reads the whole answer. no_simulator when no
// kbdsim serves `name`; failed when the exchange broke off or took over `patience_ms`.
ControlResult control_request(const std::string& name, const std::string& request,
                              std::string& answer, unsigned long patience_ms = pipe_patience_ms);

// The pipe name that KBDSIM_PIPE gives; false when it is unset, empty or too long to be one.
bool sim_pipe_name(std::string& name);

// Asks the control pipe for the listing of plugged interfaces and reads it. False when no
// simulator answers or its answer is not a complete listing.
bool fetch_listing(const std::string& name, std::vector<ListedInterface>& listing);

}  // namespace simclient::win32
