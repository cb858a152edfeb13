#include "hidlink/tests/scripted_host.h"

#include <algorithm>

namespace hidlink::testing {

ScriptedInterface keyboard_interface(std::string path, Identity identity) {
    ScriptedInterface i;
    i.path = std::move(path);
    i.identity = identity;
    i.caps.usage_page = vendor_usage_page;
    i.caps.usage = vendor_usage;
    i.caps.report_length[0] = 38;
    i.caps.report_length[1] = 38;
    i.caps.value_caps[0] = 1;
    i.caps.value_caps[1] = 1;
    i.values[0] = {{vendor_usage_page, 0, true, 1, 2}};
    i.values[1] = {{vendor_usage_page, 0, false, 1, 1}};
    return i;
}

namespace {

class ScriptedDevice : public Device {
  public:
    ScriptedDevice(ScriptedHost& host, const ScriptedInterface& iface)
        : host_(host), iface_(iface) {
        ++host_.open_devices;
    }
    ~ScriptedDevice() override { --host_.open_devices; }

    bool load_preparsed_data() override { return !iface_.preparsed_fails; }
    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        vendor_id = iface_.identity.vendor_id;
        product_id = iface_.identity.product_id;
        return !iface_.attributes_fail;
    }
    bool capabilities(Capabilities& caps) override {
        caps = iface_.caps;
        return true;
    }
    bool button_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        records = iface_.buttons[static_cast<int>(kind)];
        return !iface_.button_caps_fail;
    }
    bool value_capabilities(ReportKind kind, std::vector<CapabilityRecord>& records) override {
        records = iface_.values[static_cast<int>(kind)];
        return true;
    }
    std::uint32_t max_usage_list_length(ReportKind, std::uint16_t) override { return 4; }

    void begin_phase(const char* event_name) override { host_.phase_events.push_back(event_name); }

    IoStatus start_write(const Frame& frame) override {
        host_.written.push_back(frame);
        std::uint64_t at = host_.clock.now_ms();
        if (host_.respond) {
            for (const TimedReply& r : host_.respond(frame)) {
                at += r.delay_ms;
                queue_.push_back({r.frame, at});
            }
        }
        return host_.writes_stay_pending ? IoStatus::pending : IoStatus::done;
    }
    IoStatus start_read(Frame& buffer) override {
        pending_read_ = &buffer;
        return io_complete() ? IoStatus::done : IoStatus::pending;
    }
    bool io_complete() override {
        if (host_.writes_stay_pending && pending_read_ == nullptr) {
            return false;
        }
        if (pending_read_ == nullptr || queue_.empty() ||
            queue_.front().at > host_.clock.now_ms()) {
            return false;
        }
        *pending_read_ = queue_.front().frame;
        queue_.pop_front();
        pending_read_ = nullptr;
        return true;
    }
    void wait_event(std::uint32_t ms) override {
        std::uint64_t now = host_.clock.now_ms();
        std::uint64_t until = now + ms;
        if (pending_read_ != nullptr && !queue_.empty()) {
            until = std::min(until, std::max(now, queue_.front().at));
        }
        host_.clock.advance(until - now);
    }
    void reset_event() override { ++host_.event_resets; }
    void cancel_io() override {
        ++host_.cancels;
        pending_read_ = nullptr;
    }

  private:
    struct Queued {
        Frame frame;
        std::uint64_t at;
    };
    ScriptedHost& host_;
    ScriptedInterface iface_;
    std::deque<Queued> queue_;
    Frame* pending_read_ = nullptr;
};

}  // namespace

bool ScriptedHost::open_interface_list() {
    ++list_opens;
    return true;
}

InterfaceLookup ScriptedHost::interface_path(std::uint32_t index, std::string& path) {
    bool unplugged =
        opens_before_unplug >= 0 && static_cast<int>(opened_paths.size()) >= opens_before_unplug;
    if (unplugged || index >= interfaces.size()) {
        return InterfaceLookup::no_more;
    }
    if (interfaces[index].lookup_error) {
        return InterfaceLookup::error;
    }
    path = interfaces[index].path;
    return InterfaceLookup::found;
}

void ScriptedHost::close_interface_list() {
    ++list_closes;
}

std::unique_ptr<Device> ScriptedHost::open_device(const std::string& path) {
    for (const ScriptedInterface& i : interfaces) {
        if (i.path == path && !i.open_fails) {
            opened_paths.push_back(path);
            return std::make_unique<ScriptedDevice>(*this, i);
        }
    }
    return nullptr;
}

}  // namespace hidlink::testing
