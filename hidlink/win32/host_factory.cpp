#include "hidlink/win32/host_factory.h"

#include <windows.h>

#include "hidlink/win32/hid_host.h"
#include "hidlink/win32/sim_host.h"
#include "hidlink/win32/sim_pipe.h"

namespace hidlink {

std::unique_ptr<Host> make_host() {
    char name[256];
    DWORD length = GetEnvironmentVariableA(win32::sim_pipe_variable, name, sizeof name);
    if (length > 0 && length < sizeof name) {
        return std::make_unique<win32::SimHost>(name);
    }
    return std::make_unique<win32::HidHost>();
}

}  // namespace hidlink
