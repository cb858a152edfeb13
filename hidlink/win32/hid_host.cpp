#include "hidlink/win32/hid_host.h"

#include <cstdlib>
#include <vector>

#include "hidlink/win32/overlapped_device.h"

// hidsdi.h brings hidusage.h and hidpi.h in the order they need; C declarations.
extern "C" {
#include <hidsdi.h>
}

namespace hidlink::win32 {

namespace {

static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5),
              "the detail record's size field takes the size of its fixed part");

HIDP_REPORT_TYPE report_type(ReportKind kind) {
    switch (kind) {
        case ReportKind::input:
            return HidP_Input;
        case ReportKind::output:
            return HidP_Output;
        case ReportKind::feature:
            break;
    }
    return HidP_Feature;
}

class HidDevice : public OverlappedDevice {
  public:
    using OverlappedDevice::OverlappedDevice;

    ~HidDevice() override {
        if (preparsed_ != nullptr) {
            HidD_FreePreparsedData(preparsed_);
        }
    }

    bool load_preparsed_data() override {
        return preparsed_ != nullptr || HidD_GetPreparsedData(handle(), &preparsed_);
    }

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (!HidD_GetAttributes(handle(), &attributes)) {
            return false;
        }
        vendor_id = attributes.VendorID;
        product_id = attributes.ProductID;
        return true;
    }

    bool capabilities(Capabilities& caps) override {
        if (preparsed_ == nullptr || HidP_GetCaps(preparsed_, &caps_) != HIDP_STATUS_SUCCESS) {
            return false;
        }
        have_caps_ = true;
        caps.usage = caps_.Usage;
        caps.usage_page = caps_.UsagePage;
        caps.report_length[0] = caps_.InputReportByteLength;
        caps.report_length[1] = caps_.OutputReportByteLength;
        caps.report_length[2] = caps_.FeatureReportByteLength;
        caps.button_caps[0] = caps_.NumberInputButtonCaps;
        caps.button_caps[1] = caps_.NumberOutputButtonCaps;
        caps.button_caps[2] = caps_.NumberFeatureButtonCaps;
        caps.value_caps[0] = caps_.NumberInputValueCaps;
        caps.value_caps[1] = caps_.NumberOutputValueCaps;
        caps.value_caps[2] = caps_.NumberFeatureValueCaps;
        return true;
    }

    bool button_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        const USHORT count = announced(kind, caps_.NumberInputButtonCaps,
                                       caps_.NumberOutputButtonCaps, caps_.NumberFeatureButtonCaps);
        return specific_capabilities<HIDP_BUTTON_CAPS>(kind, count, HidP_GetSpecificButtonCaps,
                                                       records);
    }

    bool value_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        const USHORT count = announced(kind, caps_.NumberInputValueCaps,
                                       caps_.NumberOutputValueCaps, caps_.NumberFeatureValueCaps);
        return specific_capabilities<HIDP_VALUE_CAPS>(kind, count, HidP_GetSpecificValueCaps,
                                                      records);
    }

    std::uint32_t max_usage_list_length(ReportKind kind, std::uint16_t usage_page) override {
        if (preparsed_ == nullptr) {
            return 0;
        }
        return HidP_MaxUsageListLength(report_type(kind), usage_page, preparsed_);
    }

  private:
    // The full count HidP_GetCaps announced for the kind: the arrays are sized by it.
    USHORT announced(ReportKind kind, USHORT input, USHORT output, USHORT feature) const {
        if (!have_caps_ || preparsed_ == nullptr) {
            return 0;
        }
        return kind == ReportKind::input ? input : kind == ReportKind::output ? output : feature;
    }

    // The records of one kind, `count` of them announced, through HidP_GetSpecificButtonCaps
    // or HidP_GetSpecificValueCaps (`Raw` is the record type it fills); both records carry the
    // fields read here.
    template <typename Raw, typename GetSpecificCaps>
    bool specific_capabilities(ReportKind kind, USHORT count, GetSpecificCaps get_specific_caps,
                               std::vector<CapabilityRecord>& records) const {
        records.clear();
        std::vector<Raw> raw(count);
        if (count == 0) {
            return true;
        }
        if (get_specific_caps(report_type(kind), 0, 0, 0, raw.data(), &count, preparsed_) !=
            HIDP_STATUS_SUCCESS) {
            return false;
        }
        for (USHORT i = 0; i < count && i < raw.size(); ++i) {
            const Raw& c = raw[i];
            CapabilityRecord r;
            r.usage_page = c.UsagePage;
            r.report_id = c.ReportID;
            r.is_range = c.IsRange != 0;
            r.usage_min = r.is_range ? c.Range.UsageMin : c.NotRange.Usage;
            r.usage_max = r.is_range ? c.Range.UsageMax : c.NotRange.Usage;
            records.push_back(r);
        }
        return true;
    }

    PHIDP_PREPARSED_DATA preparsed_ = nullptr;
    HIDP_CAPS caps_{};
    bool have_caps_ = false;
};

}  // namespace

HidHost::HidHost() {
    HidD_GetHidGuid(&hid_guid_);
}

HidHost::~HidHost() {
    close_interface_list();
}

bool HidHost::open_interface_list() {
    close_interface_list();
    list_ =
        SetupDiGetClassDevsA(&hid_guid_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return list_ != INVALID_HANDLE_VALUE;
}

InterfaceLookup HidHost::interface_path(std::uint32_t index, std::string& path) {
    if (list_ == INVALID_HANDLE_VALUE) {
        return InterfaceLookup::no_more;
    }
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    if (!SetupDiEnumDeviceInterfaces(list_, nullptr, &hid_guid_, index, &interface_data)) {
        return GetLastError() == ERROR_NO_MORE_ITEMS ? InterfaceLookup::no_more
                                                     : InterfaceLookup::error;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(list_, &interface_data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return InterfaceLookup::error;
    }
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::calloc(1, size));
    if (detail == nullptr) {
        return InterfaceLookup::error;
    }
    // The size of the record's fixed part, as the platform defines it (8 on 64-bit Windows,
    // 5 on 32-bit), not the size of the whole allocation.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    bool fetched =
        SetupDiGetDeviceInterfaceDetailA(list_, &interface_data, detail, size, nullptr, nullptr);
    if (fetched) {
        // The path ends inside the allocation even if the system left it unterminated.
        const char* begin = detail->DevicePath;
        const char* end = reinterpret_cast<const char*>(detail) + size;
        const char* stop = begin;
        while (stop < end && *stop != '\0') {
            ++stop;
        }
        path.assign(begin, stop);
    }
    std::free(detail);
    return fetched ? InterfaceLookup::found : InterfaceLookup::error;
}

void HidHost::close_interface_list() {
    if (list_ != INVALID_HANDLE_VALUE) {
        SetupDiDestroyDeviceInfoList(list_);
        list_ = INVALID_HANDLE_VALUE;
    }
}

std::unique_ptr<Device> HidHost::open_device(const std::string& path) {
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<HidDevice>(handle);
}

}  // namespace hidlink::win32
