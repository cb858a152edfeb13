// Stand-in setupapi.dll: the device interface enumeration the suite calls, over kbdsim's
// listing. It behaves as the system's does where a caller could tell the difference: the
// record size fields, the required-size query, ERROR_INSUFFICIENT_BUFFER, ERROR_NO_MORE_ITEMS,
// ERROR_INVALID_HANDLE for a list that is not (or no longer) one.
#define _SETUPAPI_  // we define the functions setupapi.h declares
#include <windows.h>
// windows.h first.
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/hid_standin/win32/standin.h"

namespace {

struct DeviceList {
    bool device_interfaces = false;  // DIGCF_DEVICEINTERFACE
    std::vector<int> interface_ids;  // a snapshot, like the system's
};

// Everything the DLL keeps, in one place; guarded, since a program may enumerate on several
// threads.
struct Module {
    SRWLOCK lock = SRWLOCK_INIT;
    std::set<DeviceList*> live_lists;
    long lists_created = 0;
    long detail_fetches = 0;
    long misuse = 0;  // calls on lists that are not live, wrong record sizes
} module_state;

DeviceList* live_list(HDEVINFO set) {
    auto* list = static_cast<DeviceList*>(set);
    hid_standin::Hold hold(module_state.lock);
    if (module_state.live_lists.count(list) == 0) {
        ++module_state.misuse;
        return nullptr;
    }
    return list;
}

void count_misuse() {
    hid_standin::Hold hold(module_state.lock);
    ++module_state.misuse;
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* class_guid, PCSTR /*enumerator*/, HWND /*parent*/,
                                     DWORD flags) {
    if (class_guid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto* list = new DeviceList;
    list->device_interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    bool hid = (flags & DIGCF_ALLCLASSES) != 0 || IsEqualGUID(*class_guid, hid_standin::hid_class);
    if (hid) {
        for (const simclient::ListedInterface& listed : hid_standin::current_listing()) {
            list->interface_ids.push_back(listed.id);
        }
    }
    hid_standin::Hold hold(module_state.lock);
    module_state.live_lists.insert(list);
    ++module_state.lists_created;
    SetLastError(ERROR_SUCCESS);
    return list;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA /*device*/,
                                        const GUID* interface_class, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data) {
    DeviceList* list = live_list(set);
    if (list == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interface_class == nullptr) {
        count_misuse();
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (!list->device_interfaces || !IsEqualGUID(*interface_class, hid_standin::hid_class) ||
        index >= list->interface_ids.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->InterfaceClassGuid = hid_standin::hid_class;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;  // which interface of the list this record names
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                             DWORD detail_size, PDWORD required_size,
                                             PSP_DEVINFO_DATA device) {
    DeviceList* list = live_list(set);
    if (list == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        data->Reserved == 0 || data->Reserved > list->interface_ids.size()) {
        count_misuse();
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        count_misuse();
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::string path = hid_standin::device_path(list->interface_ids[data->Reserved - 1]);
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                      path.size() + 1);
    if (detail == nullptr) {
        // The size query: no buffer and a size of 0, or the call is wrong.
        if (detail_size != 0) {
            count_misuse();
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        if (required_size != nullptr) {
            *required_size = needed;
        }
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // The size field holds the size of the record's fixed part (8 on 64-bit, 5 on 32-bit),
    // never that of the allocation.
    if (detail_size < sizeof(DWORD) ||
        detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        count_misuse();
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (required_size != nullptr) {
        *required_size = needed;
    }
    if (detail_size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    {
        hid_standin::Hold hold(module_state.lock);
        ++module_state.detail_fetches;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    auto* list = static_cast<DeviceList*>(set);
    {
        hid_standin::Hold hold(module_state.lock);
        if (module_state.live_lists.erase(list) == 0) {
            ++module_state.misuse;  // destroyed twice, or never created
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    delete list;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        hid_standin::at_attach(instance);
    }
    if (reason == DLL_PROCESS_DETACH) {
        hid_standin::report_at_detach(instance, reserved, module_state.lock, [] {
            return "setupapi lists_created=" + std::to_string(module_state.lists_created) +
                   " details=" + std::to_string(module_state.detail_fetches) +
                   " lists_not_destroyed=" + std::to_string(module_state.live_lists.size()) +
                   " misuse=" + std::to_string(module_state.misuse);
        });
    }
    return TRUE;
}

}  // extern "C"
