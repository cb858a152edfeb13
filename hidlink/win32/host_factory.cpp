#include "hidlink/win32/host_factory.h"

#include <windows.h>

#include "hidlink/win32/hid_host.h"
#include "hidlink/win32/sim_host.h"
#include "simclient/win32/pipes.h"

namespace hidlink {

std::unique_ptr<Host> make_host() {
    std::string name;
    if (simclient::win32::sim_pipe_name(name)) {
        return std::make_unique<win32::SimHost>(name);
    }
    return std::make_unique<win32::HidHost>();
}

}  // namespace hidlink
