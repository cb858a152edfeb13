#include "report_tester/win32/device_search.h"

#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include "simclient/win32/pipes.h"

namespace report_tester::win32 {

namespace {

enum Entry {
    get_hid_guid = 0,
    get_attributes = 1,
    get_preparsed_data = 5,
    free_preparsed_data = 6,
    get_caps = 7,
};

constexpr LONG hidp_status_success = 0x00110000;
// An enumerator that keeps failing without ever saying "no more" must not loop for ever.
constexpr DWORD max_failed_indexes = 4096;

}  // namespace

DeviceSearch::~DeviceSearch() {
    if (library_ != nullptr) {
        FreeLibrary(library_);
    }
}

bool DeviceSearch::bind(std::string& message) {
    if (library_ == nullptr) {
        library_ = LoadLibraryA(hid_library_name);
    }
    if (library_ == nullptr) {
        message = hid_load_error;
        return false;
    }
    for (int i = 0; i < 9; ++i) {
        entry_[i] = GetProcAddress(library_, hid_entry_points[i].name);
        if (entry_[i] == nullptr) {
            message = hid_entry_points[i].missing_message;
            return false;
        }
    }
    bound_ = true;
    return true;
}

bool DeviceSearch::simulated() {
    if (!pipe_checked_) {
        use_pipe_ = simclient::win32::sim_pipe_name(pipe_name_);
        pipe_checked_ = true;
    }
    return use_pipe_;
}

DeviceSearch::SearchResult DeviceSearch::search(std::uint16_t vendor_id, std::uint16_t product_id,
                                                DevicePathList& paths) {
    paths.clear();
    if (simulated()) {
        return search_simulated(vendor_id, product_id, paths);
    }
    GUID guid{};
    reinterpret_cast<GetHidGuid>(reinterpret_cast<void*>(entry_[get_hid_guid]))(&guid);
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return SearchResult::no_interface_set;
    }
    auto attributes =
        reinterpret_cast<GetAttributes>(reinterpret_cast<void*>(entry_[get_attributes]));
    DWORD failed_in_a_row = 0;
    for (DWORD index = 0; failed_in_a_row < max_failed_indexes; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) {
                break;
            }
            ++failed_in_a_row;
            continue;
        }
        failed_in_a_row = 0;
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || needed > 64 * 1024) {
            continue;
        }
        std::vector<char> storage(needed, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr)) {
            continue;
        }
        storage.back() = '\0';  // the path ends inside the record, whatever the driver wrote
        const std::string path = detail->DevicePath;
        HANDLE device = open(path);
        if (device == INVALID_HANDLE_VALUE) {
            continue;
        }
        HIDD_ATTRIBUTES attr{};
        attr.Size = sizeof attr;
        if (attributes(device, &attr) && attr.VendorID == vendor_id &&
            attr.ProductID == product_id) {
            paths.add(path);
        }
        CloseHandle(device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return SearchResult::searched;
}

DeviceSearch::SearchResult DeviceSearch::search_simulated(std::uint16_t vendor_id,
                                                          std::uint16_t product_id,
                                                          DevicePathList& paths) {
    listing_.clear();
    if (!simclient::win32::fetch_listing(pipe_name_, listing_)) {
        return SearchResult::no_interface_set;
    }
    for (const simclient::ListedInterface& listed : listing_) {
        const std::string path = simclient::win32::interface_pipe_path(pipe_name_, listed.id);
        HANDLE device = open(path);
        if (device == INVALID_HANDLE_VALUE) {
            continue;  // as Windows refuses a keyboard collection
        }
        if (listed.vendor_id == vendor_id && listed.product_id == product_id) {
            paths.add(path);
        }
        CloseHandle(device);
    }
    return SearchResult::searched;
}

HANDLE DeviceSearch::open(const std::string& path) {
    if (simulated()) {
        // A missing pipe is known at once; a busy one is waited for only briefly.
        return simclient::win32::open_sim_pipe(path, 2000);
    }
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

void DeviceSearch::report_lengths(HANDLE device, const std::string& path,
                                  std::uint16_t& input_length, std::uint16_t& output_length,
                                  std::string& log) {
    input_length = 0;
    output_length = 0;
    if (simulated()) {
        for (const simclient::ListedInterface& listed : listing_) {
            if (simclient::win32::interface_pipe_path(pipe_name_, listed.id) == path) {
                input_length = listed.caps.report_length[0];
                output_length = listed.caps.report_length[1];
                return;
            }
        }
        log += messages::caps_error;
        return;
    }
    void* preparsed = nullptr;
    if (!reinterpret_cast<GetPreparsedData>(reinterpret_cast<void*>(entry_[get_preparsed_data]))(
            device, &preparsed) ||
        preparsed == nullptr) {
        // No capabilities call on data that was never given.
        log += messages::preparsed_data_error;
        return;
    }
    HIDP_CAPS caps{};
    if (reinterpret_cast<GetCaps>(reinterpret_cast<void*>(entry_[get_caps]))(preparsed, &caps) !=
        hidp_status_success) {
        log += messages::caps_error;
    } else {
        input_length = caps.InputReportByteLength;
        output_length = caps.OutputReportByteLength;
    }
    reinterpret_cast<FreePreparsedData>(reinterpret_cast<void*>(entry_[free_preparsed_data]))(
        preparsed);
}

}  // namespace report_tester::win32
