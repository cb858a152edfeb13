#include "hidlink/link.h"

#include <algorithm>

namespace hidlink {

namespace {

// Enumeration steps past a run of failing indexes; a real interface list is far shorter.
constexpr std::uint32_t max_interface_index = 4096;

}  // namespace

Link::Link(Host& host, common::Clock& clock, Program program)
    : host_(host), clock_(clock), program_(program) {}

Link::~Link() {
    close();
}

bool Link::find_and_open() {
    close();  // only one interface is ever open
    if (!host_.open_interface_list()) {
        return false;
    }
    std::string path;
    for (std::uint32_t index = 0; index < max_interface_index; ++index) {
        InterfaceLookup lookup = host_.interface_path(index, path);
        if (lookup == InterfaceLookup::no_more) {
            break;
        }
        if (lookup == InterfaceLookup::error) {
            continue;
        }
        device_ = open_one_interface(path);
        if (device_) {
            break;
        }
    }
    host_.close_interface_list();
    return device_ != nullptr;
}

std::unique_ptr<Device> Link::open_one_interface(const std::string& path) {
    // A rejected device is closed (and its preparsed data freed) by its destructor.
    std::unique_ptr<Device> device = host_.open_device(path);
    if (!device || !device->load_preparsed_data()) {
        return nullptr;
    }
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    if (!device->attributes(vendor_id, product_id)) {
        return nullptr;
    }
    Identity wanted = identity_for(program_, model_selector);
    if (vendor_id != wanted.vendor_id || product_id != wanted.product_id) {
        return nullptr;
    }
    Capabilities caps;
    if (!device->capabilities(caps) || caps.usage_page != vendor_usage_page ||
        caps.usage != vendor_usage) {
        return nullptr;
    }
    caps_ = caps;
    if (!parse_capabilities(*device)) {
        free_capabilities();
        return nullptr;
    }
    return device;
}

bool Link::parse_capabilities(Device& device) {
    for (int k = 0; k < report_kind_count; ++k) {
        ReportKind kind = static_cast<ReportKind>(k);
        ReportKindData& data = kinds_[k];
        data.report_buffer.assign(caps_.report_length[k], 0);

        data.button_caps.clear();
        data.value_caps.clear();
        if (caps_.button_caps[k] > 0 && !device.button_capabilities(kind, data.button_caps)) {
            return false;
        }
        if (caps_.value_caps[k] > 0 && !device.value_capabilities(kind, data.value_caps)) {
            return false;
        }
        // The parser may not hand back more records than the summary announced.
        if (data.button_caps.size() > caps_.button_caps[k] ||
            data.value_caps.size() > caps_.value_caps[k]) {
            return false;
        }

        std::size_t count = data.button_caps.size();
        for (const CapabilityRecord& cap : data.value_caps) {
            if (cap.is_range && cap.usage_max < cap.usage_min) {
                return false;  // a malformed range covers no usages we could list
            }
            count += cap.is_range ? std::size_t{cap.usage_max} - cap.usage_min + 1 : 1;
        }
        data.usage_data.clear();
        data.usage_data.reserve(count);

        for (const CapabilityRecord& cap : data.button_caps) {
            UsageData entry;
            entry.is_button = true;
            entry.usage_page = cap.usage_page;
            entry.report_id = cap.report_id;
            entry.usage_min = cap.usage_min;
            entry.usage_max = cap.is_range ? cap.usage_max : cap.usage_min;
            entry.max_usage_list_length = device.max_usage_list_length(kind, cap.usage_page);
            entry.usages.assign(entry.max_usage_list_length, 0);
            data.usage_data.push_back(std::move(entry));
        }
        for (const CapabilityRecord& cap : data.value_caps) {
            std::uint32_t last = cap.is_range ? cap.usage_max : cap.usage_min;
            for (std::uint32_t usage = cap.usage_min; usage <= last; ++usage) {
                if (data.usage_data.size() >= count) {
                    return false;
                }
                UsageData entry;
                entry.usage_page = cap.usage_page;
                entry.report_id = cap.report_id;
                entry.usage = static_cast<std::uint16_t>(usage);
                data.usage_data.push_back(std::move(entry));
            }
        }
    }
    return true;
}

void Link::free_capabilities() {
    for (ReportKindData& data : kinds_) {
        data = ReportKindData{};
    }
    caps_ = Capabilities{};
}

void Link::close() {
    device_.reset();
    free_capabilities();
}

void Link::begin_phase(const char* event_name) {
    if (device_) {
        device_->begin_phase(event_name);
    }
}

bool Link::wait_io(std::uint32_t timeout_ms) {
    const std::uint64_t start = clock_.now_ms();
    for (;;) {
        if (device_->io_complete()) {
            device_->reset_event();
            return true;
        }
        // 64-bit monotonic time: no wrap can end the wait early.
        std::uint64_t elapsed = clock_.now_ms() - start;
        if (elapsed > timeout_ms) {
            device_->reset_event();
            device_->cancel_io();
            return false;
        }
        // The phase event ends the wait as soon as the I/O completes; it is named and shared
        // with other processes, so its signal alone proves nothing and the result is checked.
        std::uint64_t remaining = timeout_ms - elapsed + 1;
        device_->wait_event(
            static_cast<std::uint32_t>(std::min<std::uint64_t>(poll_interval_ms, remaining)));
    }
}

void Link::write_frame(const Frame& frame, std::uint32_t timeout_ms) {
    if (!device_) {
        return;
    }
    switch (device_->start_write(frame)) {
        case IoStatus::done:
            device_->reset_event();
            break;
        case IoStatus::pending:
            wait_io(timeout_ms);  // the read that follows decides the outcome
            break;
        case IoStatus::failed:
            break;
    }
}

bool Link::read_frame(Frame& reply, std::uint32_t timeout_ms) {
    reply.fill(0);
    if (!device_) {
        return false;
    }
    switch (device_->start_read(reply)) {
        case IoStatus::done:
            device_->reset_event();
            return true;
        case IoStatus::pending:
            return wait_io(timeout_ms);
        case IoStatus::failed:
            break;
    }
    return false;
}

}  // namespace hidlink
