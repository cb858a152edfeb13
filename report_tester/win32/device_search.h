#pragma once
// Sonder's own way to a keyboard: the HID entry points bound from "hid.dll" at run time, the
// search by vendor and product ID, and the open of one interface. With KBDSIM_PIPE set the
// interfaces, their attributes and capabilities come from the simulated keyboard's listing
// instead of SetupDi and the HID parser; "hid.dll" is bound all the same.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "report_tester/tool.h"
#include "simclient/listing.h"

namespace report_tester::win32 {

class DeviceSearch {
  public:
    ~DeviceSearch();

    // Loads "hid.dll" and binds the nine entry points in order; on the first failure returns
    // false with its message (no line end) and binds nothing further.
    bool bind(std::string& message);
    bool bound() const { return bound_; }

    enum class SearchResult { searched, no_interface_set };
    // Fills `paths` with the interfaces whose vendor and product ID match.
    SearchResult search(std::uint16_t vendor_id, std::uint16_t product_id, DevicePathList& paths);

    // Opens `path` for overlapped reading and writing, shared; INVALID_HANDLE_VALUE on failure.
    HANDLE open(const std::string& path);

    // The interface's report lengths. Appends the messages of a failed step to `log`.
    void report_lengths(HANDLE device, const std::string& path, std::uint16_t& input_length,
                        std::uint16_t& output_length, std::string& log);

  private:
    using GetHidGuid = void(WINAPI*)(GUID*);
    using GetAttributes = BOOLEAN(WINAPI*)(HANDLE, void*);
    using GetPreparsedData = BOOLEAN(WINAPI*)(HANDLE, void**);
    using FreePreparsedData = BOOLEAN(WINAPI*)(void*);
    using GetCaps = LONG(WINAPI*)(void*, void*);

    bool simulated();
    SearchResult search_simulated(std::uint16_t vendor_id, std::uint16_t product_id,
                                  DevicePathList& paths);

    HMODULE library_ = nullptr;
    bool bound_ = false;
    FARPROC entry_[9] = {};
    std::string pipe_name_;
    bool pipe_checked_ = false;
    bool use_pipe_ = false;
    std::vector<simclient::ListedInterface> listing_;
};

}  // namespace report_tester::win32
