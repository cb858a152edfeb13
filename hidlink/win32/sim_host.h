#pragma once
// The simulated keyboards of kbdsim.exe: discovery asks the control pipe for the listing of
// plugged interfaces; each interface is a message-mode pipe on which the same overlapped I/O
// runs as on a real device handle.
#include <string>
#include <vector>

#include "hidlink/device.h"
#include "simclient/listing.h"

namespace hidlink::win32 {

class SimHost : public Host {
  public:
    explicit SimHost(std::string pipe_name);

    bool open_interface_list() override;
    InterfaceLookup interface_path(std::uint32_t index, std::string& path) override;
    void close_interface_list() override;
    std::unique_ptr<Device> open_device(const std::string& path) override;

  private:
    std::string pipe_name_;
    // The last listing; kept after close_interface_list so a device found in it can be
    // opened afterwards too.
    std::vector<simclient::ListedInterface> listing_;
    bool list_open_ = false;
};

}  // namespace hidlink::win32
