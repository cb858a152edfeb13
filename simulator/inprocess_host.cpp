#include "simulator/inprocess_host.h"

#include <algorithm>
#include <deque>

namespace simulator {

using hidlink::Frame;
using hidlink::IoStatus;
using hidlink::ReportKind;

namespace {

constexpr char path_prefix[] = "sim:";

bool parse_path(const std::string& path, int& id) {
    const std::string prefix = path_prefix;
    if (path.size() <= prefix.size() || path.size() > prefix.size() + 6 ||
        path.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    int value = 0;
    for (std::size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') {
            return false;
        }
        value = value * 10 + (path[i] - '0');
    }
    id = value;
    return true;
}

}  // namespace

class InProcessDevice : public hidlink::Device {
  public:
    InProcessDevice(InProcessHost& host, const InterfaceInfo& info)
        : host_(host), info_(info), unplugs_at_open_(info.unplugs) {
        ++host_.opens_;
        ++host_.open_devices_;
    }
    ~InProcessDevice() override { --host_.open_devices_; }

    bool load_preparsed_data() override { return true; }

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        vendor_id = info_.vendor_id;
        product_id = info_.product_id;
        return true;
    }

    bool capabilities(hidlink::Capabilities& caps) override {
        caps = capabilities_of(info_);
        return true;
    }

    bool button_capabilities(ReportKind kind,
                             std::vector<hidlink::CapabilityRecord>& records) override {
        records = button_capabilities_of(info_, kind);
        return true;
    }

    bool value_capabilities(ReportKind kind,
                            std::vector<hidlink::CapabilityRecord>& records) override {
        records = value_capabilities_of(info_, kind);
        return true;
    }

    std::uint32_t max_usage_list_length(ReportKind kind, std::uint16_t usage_page) override {
        return max_usage_list_length_of(info_, kind, usage_page);
    }

    void begin_phase(const char* event_name) override {
        host_.phase_events_.push_back(event_name);
        event_signalled_ = false;
    }

    IoStatus start_write(const Frame& frame) override {
        if (!alive()) {
            return IoStatus::failed;
        }
        const std::uint64_t now = host_.clock_.now_ms();
        Response response = host_.simulation_.on_frame(info_.id, frame, now);
        // A keyboard answers in order: replies to this frame follow those still queued.
        std::uint64_t due = queue_.empty() ? now : std::max(now, queue_.back().due_ms);
        for (const Reply& reply : response.replies) {
            due += reply.delay_ms;
            queue_.push_back({reply.frame, due});
        }
        event_signalled_ = true;
        return IoStatus::done;
    }

    IoStatus start_read(Frame& buffer) override {
        if (reply_ready()) {
            deliver(buffer);
            return IoStatus::done;
        }
        if (queue_.empty() && !alive()) {
            return IoStatus::failed;
        }
        pending_read_ = &buffer;
        return IoStatus::pending;
    }

    bool io_complete() override {
        if (pending_read_ == nullptr) {
            return true;
        }
        if (!reply_ready()) {
            return false;
        }
        deliver(*pending_read_);
        pending_read_ = nullptr;
        return true;
    }

    void wait_event(std::uint32_t ms) override {
        // A signalled event returns at once; one left signalled by an earlier I/O while the
        // read is still waiting would spin forever on a fake clock, so time passes then.
        if (event_signalled_ && (pending_read_ == nullptr || reply_ready())) {
            return;
        }
        std::uint64_t now = host_.clock_.now_ms();
        std::uint64_t wait = ms;
        if (pending_read_ != nullptr && !queue_.empty()) {
            wait = std::min<std::uint64_t>(
                wait, queue_.front().due_ms > now ? queue_.front().due_ms - now : 0);
        }
        host_.clock_.advance(wait);
        if (pending_read_ != nullptr && reply_ready()) {
            event_signalled_ = true;
        }
    }

    void reset_event() override {
        ++host_.event_resets_;
        event_signalled_ = false;
    }

    void cancel_io() override {
        ++host_.cancels_;
        pending_read_ = nullptr;
    }

  private:
    struct QueuedReply {
        Frame frame;
        std::uint64_t due_ms;
    };

    // Not unplugged since it was opened.
    bool alive() const {
        const InterfaceInfo* now = host_.simulation_.find_interface(info_.id);
        return now != nullptr && now->plugged && now->unplugs == unplugs_at_open_;
    }

    bool reply_ready() const {
        return !queue_.empty() && queue_.front().due_ms <= host_.clock_.now_ms();
    }

    void deliver(Frame& buffer) {
        buffer = queue_.front().frame;
        queue_.pop_front();
        event_signalled_ = true;
    }

    InProcessHost& host_;
    const InterfaceInfo info_;
    const std::uint32_t unplugs_at_open_;
    std::deque<QueuedReply> queue_;
    Frame* pending_read_ = nullptr;
    bool event_signalled_ = false;
};

InProcessHost::InProcessHost(Simulation& simulation, common::FakeClock& clock)
    : simulation_(simulation), clock_(clock) {
    simulation_.set_clock_origin(clock_.now_ms());
}

bool InProcessHost::open_interface_list() {
    listed_ids_.clear();
    for (const InterfaceInfo& info : simulation_.interfaces()) {
        if (info.plugged) {
            listed_ids_.push_back(info.id);
        }
    }
    list_open_ = true;
    return true;
}

hidlink::InterfaceLookup InProcessHost::interface_path(std::uint32_t index, std::string& path) {
    if (!list_open_ || index >= listed_ids_.size()) {
        return hidlink::InterfaceLookup::no_more;
    }
    path = path_prefix + std::to_string(listed_ids_[index]);
    return hidlink::InterfaceLookup::found;
}

void InProcessHost::close_interface_list() {
    listed_ids_.clear();
    list_open_ = false;
}

std::unique_ptr<hidlink::Device> InProcessHost::open_device(const std::string& path) {
    int id = 0;
    if (!parse_path(path, id)) {
        return nullptr;
    }
    const InterfaceInfo* info = simulation_.find_interface(id);
    if (info == nullptr || !info->plugged || !opens_for_read_write(*info)) {
        return nullptr;
    }
    return std::make_unique<InProcessDevice>(*this, *info);
}

}  // namespace simulator
