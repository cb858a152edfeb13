// standin_check.exe: holds the stand-in setupapi.dll and hid.dll to the system's rules, against
// a kbdsim serving the Sparrow POS Keyboard (model 1). Prints "FAIL <what>" for each broken
// rule and exits 1 if there was one. Checking the refusals misuses the DLLs on purpose (five
// times in setupapi, twice in hid), and at its end it deliberately leaves one device list, one
// preparsed data and one handle behind, so the test can see that the report catches each.
#include <windows.h>
// windows.h first.
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <hidsdi.h>
}

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAIL %s (last error %lu)\n", what, GetLastError());
        ++failures;
    }
}

std::string detail_path(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& data) {
    DWORD size = 0;
    SetLastError(0);
    check(!SetupDiGetDeviceInterfaceDetailA(list, &data, nullptr, 0, &size, nullptr) &&
              GetLastError() == ERROR_INSUFFICIENT_BUFFER && size > sizeof(DWORD),
          "a size query answers ERROR_INSUFFICIENT_BUFFER with the size");
    std::vector<char> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = size;  // the size of the allocation: wrong
    check(!SetupDiGetDeviceInterfaceDetailA(list, &data, detail, size, nullptr, nullptr) &&
              GetLastError() == ERROR_INVALID_USER_BUFFER,
          "a size field other than the fixed part's is refused");
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    check(!SetupDiGetDeviceInterfaceDetailA(list, &data, detail, size - 1, nullptr, nullptr) &&
              GetLastError() == ERROR_INSUFFICIENT_BUFFER,
          "a buffer one byte short is refused");
    check(SetupDiGetDeviceInterfaceDetailA(list, &data, detail, size, nullptr, nullptr),
          "the detail fits the size the query gave");
    return detail->DevicePath;
}

}  // namespace

int main() {
    GUID hid{};
    HidD_GetHidGuid(&hid);
    HDEVINFO list =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    check(list != INVALID_HANDLE_VALUE, "the HID class lists its interfaces");

    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data + 1;
    check(!SetupDiEnumDeviceInterfaces(list, nullptr, &hid, 0, &data) &&
              GetLastError() == ERROR_INVALID_USER_BUFFER,
          "an interface record of the wrong size is refused");
    data.cbSize = sizeof data;

    // kbdsim with model 1: the other vendor's decoy, the keyboard collection, the
    // consumer-control collection, the vendor one.
    std::vector<std::string> paths;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(list, nullptr, &hid, index, &data); ++index) {
        paths.push_back(detail_path(list, data));
    }
    check(GetLastError() == ERROR_NO_MORE_ITEMS, "the enumeration ends with ERROR_NO_MORE_ITEMS");
    check(paths.size() == 4, "four interfaces are listed");

    HANDLE keyboard = INVALID_HANDLE_VALUE;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    for (const std::string& path : paths) {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            continue;  // a collection that refuses read/write opens
        }
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        PHIDP_PREPARSED_DATA p = nullptr;
        HIDP_CAPS caps{};
        if (HidD_GetAttributes(handle, &attributes) && attributes.ProductID == 0x0001 &&
            HidD_GetPreparsedData(handle, &p) && HidP_GetCaps(p, &caps) == HIDP_STATUS_SUCCESS &&
            caps.UsagePage == 0xFF01) {
            check(caps.Usage == 1 && caps.InputReportByteLength == 38 &&
                      caps.OutputReportByteLength == 38 && caps.NumberInputValueCaps == 1 &&
                      caps.NumberOutputValueCaps == 1,
                  "the vendor collection's capabilities");
            keyboard = handle;
            preparsed = p;
            break;
        }
        if (p != nullptr) {
            HidD_FreePreparsedData(p);
        }
        CloseHandle(handle);
    }
    check(keyboard != INVALID_HANDLE_VALUE, "the Sparrow's vendor collection opens");

    if (preparsed != nullptr) {
        HIDP_VALUE_CAPS values[2] = {};
        USHORT count = 0;
        check(HidP_GetSpecificValueCaps(HidP_Input, 0, 0, 0, values, &count, preparsed) ==
                  HIDP_STATUS_BUFFER_TOO_SMALL,
              "no room for the value capabilities is HIDP_STATUS_BUFFER_TOO_SMALL");
        count = 2;
        check(HidP_GetSpecificValueCaps(HidP_Input, 0, 0, 0, values, &count, preparsed) ==
                      HIDP_STATUS_SUCCESS &&
                  count == 1 && values[0].UsagePage == 0xFF01 && values[0].IsRange &&
                  values[0].Range.UsageMin == 1 && values[0].Range.UsageMax == 2,
              "the input value capability");
        count = 2;
        check(HidP_GetSpecificValueCaps(HidP_Input, 0x0007, 0, 0, values, &count, preparsed) ==
                      HIDP_STATUS_USAGE_NOT_FOUND &&
                  count == 0,
              "another usage page finds nothing");
        check(HidP_MaxUsageListLength(HidP_Input, 0, preparsed) == 0, "no buttons, no usages");
        check(HidD_FreePreparsedData(preparsed), "preparsed data is freed once");
        // Freeing twice, and a call on freed data.
        check(!HidD_FreePreparsedData(preparsed), "freeing twice is refused");
        HIDP_CAPS caps{};
        check(HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_INVALID_PREPARSED_DATA,
              "freed preparsed data is refused");
    }
    check(SetupDiDestroyDeviceInfoList(list), "the list is destroyed once");
    // Destroying twice.
    check(!SetupDiDestroyDeviceInfoList(list) && GetLastError() == ERROR_INVALID_HANDLE,
          "destroying twice is refused");

    // Deliberately left behind for the report: a list, preparsed data and the open handle.
    SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    PHIDP_PREPARSED_DATA kept = nullptr;
    check(keyboard != INVALID_HANDLE_VALUE && HidD_GetPreparsedData(keyboard, &kept),
          "preparsed data of the open handle");

    std::printf("%s\n", failures == 0 ? "standin rules ok" : "standin rules broken");
    return failures == 0 ? 0 : 1;
}
