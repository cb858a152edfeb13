#pragma once
// The machine's real HID interfaces: SetupDi enumeration, HidD/HidP queries, overlapped I/O on
// the device handle.
#include <windows.h>

#include <setupapi.h>

#include "hidlink/device.h"

namespace hidlink::win32 {

class HidHost : public Host {
  public:
    HidHost();
    ~HidHost() override;

    bool open_interface_list() override;
    InterfaceLookup interface_path(std::uint32_t index, std::string& path) override;
    void close_interface_list() override;
    std::unique_ptr<Device> open_device(const std::string& path) override;

  private:
    GUID hid_guid_;
    HDEVINFO list_ = INVALID_HANDLE_VALUE;
};

}  // namespace hidlink::win32
