// Stand-in hid.dll: the HID class functions the suite calls, over kbdsim's listing. A handle is
// mapped back to its interface by its pipe's name; preparsed data is a record of that
// interface. Status codes, counts and freeing follow the system's DLL where a caller could tell
// the difference; what a process allocates and frees is counted and reported when it ends.
#include <windows.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <type_traits>

extern "C" {
#include <hidsdi.h>
}

#include "tests/hid_standin/win32/standin.h"

namespace {

struct Preparsed {
    simclient::ListedInterface listed;
};

// Everything the DLL keeps, in one place.
struct Module {
    SRWLOCK lock = SRWLOCK_INIT;
    std::set<Preparsed*> live_preparsed;
    std::map<HANDLE, int> seen_handles;  // handle → interface, as last queried
    long preparsed_got = 0;
    long attributes_read = 0;
    long misuse = 0;  // freeing twice, calls with preparsed data that is not live
} module_state;

bool find_interface(HANDLE handle, simclient::ListedInterface& out) {
    int id = hid_standin::interface_of_handle(handle);
    if (id < 0) {
        return false;
    }
    for (const simclient::ListedInterface& listed : hid_standin::current_listing()) {
        if (listed.id == id) {
            out = listed;
            hid_standin::Hold hold(module_state.lock);
            module_state.seen_handles[handle] = id;
            return true;
        }
    }
    return false;  // unplugged: the system's call fails on a device that is gone
}

const Preparsed* live(PHIDP_PREPARSED_DATA data) {
    auto* preparsed = reinterpret_cast<Preparsed*>(data);
    hid_standin::Hold hold(module_state.lock);
    if (module_state.live_preparsed.count(preparsed) == 0) {
        ++module_state.misuse;
        return nullptr;
    }
    return preparsed;
}

int kind_index(HIDP_REPORT_TYPE type) {
    switch (type) {
        case HidP_Input:
            return 0;
        case HidP_Output:
            return 1;
        case HidP_Feature:
            return 2;
    }
    return -1;
}

bool matches(const simclient::CapabilityRecord& record, USAGE page, USAGE usage) {
    if (page != 0 && record.usage_page != page) {
        return false;
    }
    return usage == 0 || (usage >= record.usage_min && usage <= record.usage_max);
}

// One record as HidP_GetSpecific*Caps hands it out; a value is one absolute byte.
template <typename Caps>
void fill_caps(Caps& out, const simclient::CapabilityRecord& r) {
    std::memset(&out, 0, sizeof out);
    out.UsagePage = r.usage_page;
    out.ReportID = r.report_id;
    out.IsRange = r.is_range;
    out.IsAbsolute = TRUE;
    if constexpr (std::is_same_v<Caps, HIDP_VALUE_CAPS>) {
        out.BitSize = 8;
        out.ReportCount = 1;
        out.LogicalMax = 255;
    }
    if (r.is_range) {
        out.Range.UsageMin = r.usage_min;
        out.Range.UsageMax = r.usage_max;
    } else {
        out.NotRange.Usage = r.usage_min;
    }
}

// Fills `out` with the button or value records (by `Caps`) matching the filter, as
// HidP_GetSpecific*Caps does.
template <typename Caps>
NTSTATUS specific_caps(HIDP_REPORT_TYPE type, USAGE page, USHORT link_collection, USAGE usage,
                       Caps* out, PUSHORT length, PHIDP_PREPARSED_DATA data) {
    const Preparsed* preparsed = live(data);
    if (preparsed == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    int kind = kind_index(type);
    if (kind < 0) {
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    }
    if (length == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    // Every simulated capability lies in the top collection (0): another collection has none.
    const auto& records = std::is_same_v<Caps, HIDP_BUTTON_CAPS>
                              ? preparsed->listed.button_records[kind]
                              : preparsed->listed.value_records[kind];
    USHORT room = out == nullptr ? 0 : *length;
    USHORT copied = 0;
    bool more = false;
    for (const simclient::CapabilityRecord& record : records) {
        if (link_collection != 0 || !matches(record, page, usage)) {
            continue;
        }
        if (copied < room) {
            fill_caps(out[copied], record);
            ++copied;
        } else {
            more = true;
        }
    }
    *length = copied;
    if (more) {
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    return copied == 0 ? HIDP_STATUS_USAGE_NOT_FOUND : HIDP_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID guid) {
    if (guid != nullptr) {
        *guid = hid_standin::hid_class;
    }
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    simclient::ListedInterface listed;
    if (attributes == nullptr || !find_interface(device, listed)) {
        return FALSE;
    }
    attributes->Size = sizeof(HIDD_ATTRIBUTES);
    attributes->VendorID = listed.vendor_id;
    attributes->ProductID = listed.product_id;
    attributes->VersionNumber = 0x0100;
    hid_standin::Hold hold(module_state.lock);
    ++module_state.attributes_read;
    return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
    simclient::ListedInterface listed;
    if (data == nullptr || !find_interface(device, listed)) {
        return FALSE;
    }
    if (hid_standin::failing("preparsed")) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    auto* preparsed = new Preparsed{listed};
    hid_standin::Hold hold(module_state.lock);
    module_state.live_preparsed.insert(preparsed);
    ++module_state.preparsed_got;
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(preparsed);
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data) {
    auto* preparsed = reinterpret_cast<Preparsed*>(data);
    {
        hid_standin::Hold hold(module_state.lock);
        if (module_state.live_preparsed.erase(preparsed) == 0) {
            ++module_state.misuse;  // freed twice, or never handed out
            return FALSE;
        }
    }
    delete preparsed;
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) {
    const Preparsed* preparsed = live(data);
    if (preparsed == nullptr || caps == nullptr) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    if (hid_standin::failing("caps")) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const simclient::Capabilities& c = preparsed->listed.caps;
    std::memset(caps, 0, sizeof *caps);
    caps->Usage = c.usage;
    caps->UsagePage = c.usage_page;
    caps->InputReportByteLength = c.report_length[0];
    caps->OutputReportByteLength = c.report_length[1];
    caps->FeatureReportByteLength = c.report_length[2];
    caps->NumberLinkCollectionNodes = 1;
    caps->NumberInputButtonCaps = c.button_caps[0];
    caps->NumberOutputButtonCaps = c.button_caps[1];
    caps->NumberFeatureButtonCaps = c.button_caps[2];
    caps->NumberInputValueCaps = c.value_caps[0];
    caps->NumberOutputValueCaps = c.value_caps[1];
    caps->NumberFeatureValueCaps = c.value_caps[2];
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS NTAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE type, USAGE page, USHORT collection,
                                          USAGE usage, PHIDP_BUTTON_CAPS caps, PUSHORT length,
                                          PHIDP_PREPARSED_DATA data) {
    return specific_caps(type, page, collection, usage, caps, length, data);
}

NTSTATUS NTAPI HidP_GetSpecificValueCaps(HIDP_REPORT_TYPE type, USAGE page, USHORT collection,
                                         USAGE usage, PHIDP_VALUE_CAPS caps, PUSHORT length,
                                         PHIDP_PREPARSED_DATA data) {
    return specific_caps(type, page, collection, usage, caps, length, data);
}

ULONG NTAPI HidP_MaxUsageListLength(HIDP_REPORT_TYPE type, USAGE page, PHIDP_PREPARSED_DATA data) {
    const Preparsed* preparsed = live(data);
    int kind = kind_index(type);
    if (preparsed == nullptr || kind < 0) {
        return 0;
    }
    return simclient::max_usage_list_length(preparsed->listed.button_records[kind], page);
}

// Bound by the report test tool at start; the simulated keyboards have no serial number,
// feature reports or genre descriptor, as many real keyboards have none.
BOOLEAN NTAPI HidD_GetSerialNumberString(HANDLE, PVOID, ULONG) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOLEAN NTAPI HidD_SetFeature(HANDLE, PVOID, ULONG) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOLEAN NTAPI HidD_GetFeature(HANDLE, PVOID, ULONG) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOLEAN NTAPI HidD_GetMsGenreDescriptor(HANDLE, PVOID, ULONG) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        hid_standin::at_attach(instance);
    }
    if (reason == DLL_PROCESS_DETACH) {
        hid_standin::report_at_detach(instance, reserved, module_state.lock, [] {
            // A handle the program queried that still names the same interface was never closed.
            long open_handles = 0;
            for (const auto& [handle, id] : module_state.seen_handles) {
                if (hid_standin::interface_of_handle(handle) == id) {
                    ++open_handles;
                }
            }
            return "hid preparsed_got=" + std::to_string(module_state.preparsed_got) +
                   " attributes=" + std::to_string(module_state.attributes_read) +
                   " preparsed_not_freed=" + std::to_string(module_state.live_preparsed.size()) +
                   " handles_open=" + std::to_string(open_handles) +
                   " misuse=" + std::to_string(module_state.misuse);
        });
    }
    return TRUE;
}

}  // extern "C"
