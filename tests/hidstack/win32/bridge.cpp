// hidstack_bridge.exe: puts kbdsim's keyboards onto Wine's own HID stack (test-only).
//
//   hidstack_bridge.exe install <folder>   installs the drivers of <folder> (kbdsim_hidstack.inf
//                                           and the .sys files beside it) for a root-enumerated
//                                           device, once per prefix
//   hidstack_bridge.exe --pipe NAME [--keyboard-last]
//                                           follows the kbdsim serving NAME until standard input
//                                           ends: its plugged keyboards become HID devices
//
// Following kbdsim: every few milliseconds the bridge reads kbdsim's listing and tells the bus
// driver which devices are plugged. Each keyboard becomes two devices, as a USB keyboard with a
// vendor interface is: its boot keyboard collection and its vendor-defined collection (the
// latter's reports travel over kbdsim's interface pipe, from inside the driver). The bridge
// prints "hidstack ready" once the HID interfaces of the first listing are present.
#include <windows.h>

// After windows.h, each on the one before: setupapi.h needs its types, newdev.h setupapi.h's.
#include <setupapi.h>

#include <newdev.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "simclient/win32/pipes.h"
#include "tests/hidstack/win32/bus_control.h"

namespace {

constexpr const char* bus_hardware_id = "KBDSIM\\BUS";
constexpr const char* root_instance = "ROOT\\KBDSIMBUS\\0000";
constexpr DWORD follow_pause_ms = 20;
constexpr DWORD resend_every_ms = 500;  // a device whose pipe was busy gets another chance
constexpr DWORD appear_timeout_ms = 20000;
constexpr DWORD start_timeout_ms = 5000;

const GUID control_guid = KBDSIM_BUS_CONTROL_GUID_INIT;
const GUID system_class_guid = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID hid_guid = {
    0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

void fail(const char* what) {
    std::fprintf(stderr, "hidstack_bridge: %s (error %lu)\n", what, GetLastError());
}

// The paths of the present device interfaces of `guid`, in lower case.
std::vector<std::string> interface_paths(const GUID& guid) {
    std::vector<std::string> paths;
    HDEVINFO list =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(list, nullptr, &guid, i, &data); ++i) {
        char buffer[1024];
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(list, &data, detail, sizeof buffer, nullptr,
                                             nullptr)) {
            std::string path = detail->DevicePath;
            for (char& c : path) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            paths.push_back(path);
        }
    }
    SetupDiDestroyDeviceInfoList(list);
    return paths;
}

bool root_device_exists() {
    HDEVINFO list = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    bool exists = SetupDiOpenDeviceInfoA(list, root_instance, nullptr, 0, &device);
    SetupDiDestroyDeviceInfoList(list);
    return exists;
}

// Waits until the bus driver's control interface is there.
bool wait_for_control(DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (interface_paths(control_guid).empty()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(follow_pause_ms);
    }
    return true;
}

void start_bus_service() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) {
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, "kbdsim_bus", SERVICE_START);
    if (service != nullptr) {
        StartServiceA(service, 0, nullptr);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

int install(const std::string& folder) {
    if (!interface_paths(control_guid).empty()) {
        std::puts("hidstack installed");
        return 0;
    }
    std::string inf = folder + "\\kbdsim_hidstack.inf";
    if (!root_device_exists()) {
        HDEVINFO list = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        static const char hardware_ids[] = "KBDSIM\\BUS\0";
        bool registered = SetupDiCreateDeviceInfoA(list, root_instance, &system_class_guid, nullptr,
                                                   nullptr, 0, &device) &&
                          SetupDiSetDeviceRegistryPropertyA(
                              list, &device, SPDRP_HARDWAREID,
                              reinterpret_cast<const BYTE*>(hardware_ids), sizeof hardware_ids) &&
                          SetupDiCallClassInstaller(DIF_REGISTERDEVICE, list, &device);
        SetupDiDestroyDeviceInfoList(list);
        if (!registered) {
            fail("cannot register the root device");
            return 1;
        }
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, bus_hardware_id, inf.c_str(),
                                            INSTALLFLAG_FORCE, &reboot)) {
        fail("cannot install the drivers");
        return 1;
    }
    // In a prefix that has just been created, Wine's installer may fail to open the service it
    // has just added ("Failed to open service"), and then does not start the driver: start it.
    if (!wait_for_control(start_timeout_ms)) {
        start_bus_service();
    }
    if (!wait_for_control(appear_timeout_ms)) {
        fail("the bus driver's control interface did not appear");
        return 1;
    }
    std::puts("hidstack installed");
    return 0;
}

// Whether a keyboard's boot keyboard collection is its USB interface 2 rather than 0, so that
// it is enumerated after the vendor collection (--keyboard-last).
bool keyboard_last = false;

// What the bus should present for a listing: a vendor device for every vendor-defined
// collection, a keyboard device for every standard keyboard collection.
kbdsim_bus_devices wanted_devices(const std::string& pipe,
                                  const std::vector<simclient::ListedInterface>& listing) {
    kbdsim_bus_devices devices{};
    for (size_t i = 0; i < pipe.size() && i + 1 < KBDSIM_BUS_PIPE_NAME_CHARS; ++i) {
        devices.pipe_name[i] = static_cast<wchar_t>(pipe[i]);
    }
    for (const simclient::ListedInterface& item : listing) {
        unsigned long kind;
        if (item.caps.usage_page == 0xFF01 && item.caps.usage == 1) {
            kind = KBDSIM_BUS_KIND_VENDOR;
        } else if (item.caps.usage_page == 0x0001 && item.caps.usage == 0x0006) {
            kind = keyboard_last ? KBDSIM_BUS_KIND_KEYBOARD_LAST : KBDSIM_BUS_KIND_KEYBOARD;
        } else {
            continue;
        }
        if (devices.count == KBDSIM_BUS_MAX_DEVICES) {
            break;
        }
        kbdsim_bus_device& device = devices.devices[devices.count++];
        device.interface_id = static_cast<unsigned long>(item.id);
        device.vendor_id = item.vendor_id;
        device.product_id = item.product_id;
        device.kind = kind;
    }
    return devices;
}

// The part of a HID interface path that names the device: "vid_1ff3&pid_0001&mi_01".
constexpr size_t path_part_length = 23;
std::string path_part(const kbdsim_bus_device& device) {
    char text[64];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x&mi_%02lu", device.vendor_id,
                  device.product_id, kbdsim_bus_interface_number(device.kind));
    return text;
}

bool send_devices(HANDLE bus, const kbdsim_bus_devices& devices) {
    DWORD returned = 0;
    return DeviceIoControl(bus, KBDSIM_BUS_IOCTL_SET_DEVICES,
                           const_cast<kbdsim_bus_devices*>(&devices), sizeof devices, nullptr, 0,
                           &returned, nullptr);
}

// Set when standard input has reached its end (the test that started the bridge is done).
volatile LONG input_done = 0;
// How many "sync" lines standard input has brought so far.
volatile LONG sync_requests = 0;

DWORD WINAPI watch_input(void*) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line == "sync" || line == "sync\r") {
            InterlockedIncrement(&sync_requests);
        }
        line.clear();
    }
    InterlockedExchange(&input_done, 1);
    return 0;
}

// Whether the present HID interfaces of the bus's devices are exactly `devices`; waits for it
// up to the time-out. The bus's devices are those whose path names a USB interface (&mi_).
bool wait_for_devices(const kbdsim_bus_devices& devices) {
    std::vector<std::string> wanted;
    for (unsigned long i = 0; i < devices.count; ++i) {
        wanted.push_back(path_part(devices.devices[i]));
    }
    std::sort(wanted.begin(), wanted.end());
    const ULONGLONG deadline = GetTickCount64() + appear_timeout_ms;
    for (;;) {
        std::vector<std::string> present;
        for (const std::string& path : interface_paths(hid_guid)) {
            size_t start = path.find("vid_");
            if (start != std::string::npos && path.find("&mi_", start) != std::string::npos) {
                present.push_back(path.substr(start, path_part_length));
            }
        }
        std::sort(present.begin(), present.end());
        if (present == wanted) {
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(follow_pause_ms);
    }
}

int follow(const std::string& pipe) {
    std::vector<std::string> controls = interface_paths(control_guid);
    if (controls.empty()) {
        fail("the bus driver is not installed (run install first)");
        return 1;
    }
    HANDLE bus = CreateFileA(controls.front().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (bus == INVALID_HANDLE_VALUE) {
        fail("cannot open the bus driver's control interface");
        return 1;
    }
    std::vector<simclient::ListedInterface> listing;
    if (!simclient::win32::fetch_listing(pipe, listing)) {
        fail("no kbdsim answers on that pipe");
        CloseHandle(bus);
        return 1;
    }
    kbdsim_bus_devices sent = wanted_devices(pipe, listing);
    if (!send_devices(bus, sent)) {
        fail("the bus driver refused the device list");
        CloseHandle(bus);
        return 1;
    }
    if (!wait_for_devices(sent)) {
        fail("the HID devices did not appear");
        CloseHandle(bus);
        return 1;
    }
    std::puts("hidstack ready");
    std::fflush(stdout);

    HANDLE watcher = CreateThread(nullptr, 0, watch_input, nullptr, 0, nullptr);
    ULONGLONG last_sent = GetTickCount64();
    LONG synced = 0;
    while (watcher != nullptr && !input_done) {
        // A sync asked for before this listing is answered once the devices match it.
        LONG requested = sync_requests;
        if (!simclient::win32::fetch_listing(pipe, listing)) {
            listing.clear();  // kbdsim ended: its keyboards are gone
        }
        kbdsim_bus_devices wanted = wanted_devices(pipe, listing);
        bool changed = std::memcmp(&wanted, &sent, sizeof wanted) != 0;
        if (changed || GetTickCount64() - last_sent >= resend_every_ms) {
            send_devices(bus, wanted);
            sent = wanted;
            last_sent = GetTickCount64();
        }
        if (requested != synced) {
            std::puts(wait_for_devices(wanted) ? "hidstack synced" : "hidstack sync failed");
            std::fflush(stdout);
            synced = requested;
        } else {
            Sleep(follow_pause_ms);
        }
    }
    kbdsim_bus_devices none{};
    std::memcpy(none.pipe_name, sent.pipe_name, sizeof none.pipe_name);
    send_devices(bus, none);
    CloseHandle(bus);
    if (watcher != nullptr) {
        CloseHandle(watcher);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "install") == 0) {
        return install(argv[2]);
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--pipe") == 0) {
        keyboard_last = argc == 4 && std::strcmp(argv[3], "--keyboard-last") == 0;
        if (argc == 3 || keyboard_last) {
            return follow(argv[2]);
        }
    }
    std::fprintf(stderr,
                 "usage: hidstack_bridge.exe install <folder> | --pipe NAME [--keyboard-last]\n");
    return 2;
}
