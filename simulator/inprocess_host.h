#pragma once
// The unit tests' backend: a Host whose devices talk to a Simulation in the same process and
// whose waits advance a FakeClock, so a 5000 ms time-out costs no real time.
//
// Interfaces are listed as "sim:<id>", plugged ones only, in the simulation's order (a snapshot
// taken by open_interface_list, like SetupDi's). Each open device is its own handle: a frame
// written on it is answered on it, and replies still queued are lost when it is closed. A
// delayed reply becomes readable when the clock reaches its time; wait_event advances the
// clock to that moment (or by the full wait when nothing is due). A handle opened before its
// keyboard was unplugged stays dead: writes fail, and reads fail once its queue is empty.
// The host must outlive the devices it opened.
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/device.h"
#include "simulator/simulation.h"

namespace simulator {

class InProcessHost : public hidlink::Host {
  public:
    InProcessHost(Simulation& simulation, common::FakeClock& clock);

    bool open_interface_list() override;
    hidlink::InterfaceLookup interface_path(std::uint32_t index, std::string& path) override;
    void close_interface_list() override;
    std::unique_ptr<hidlink::Device> open_device(const std::string& path) override;

    // What the tests look at.
    int opens() const { return opens_; }                // devices opened so far
    int open_devices() const { return open_devices_; }  // devices open now
    std::vector<std::string> phase_events() const { return phase_events_; }  // in order
    int cancels() const { return cancels_; }                                 // cancel_io calls
    int event_resets() const { return event_resets_; }                       // reset_event calls

    Simulation& simulation() { return simulation_; }
    common::FakeClock& clock() { return clock_; }

  private:
    friend class InProcessDevice;

    Simulation& simulation_;
    common::FakeClock& clock_;
    std::vector<int> listed_ids_;
    bool list_open_ = false;
    int opens_ = 0;
    int open_devices_ = 0;
    std::vector<std::string> phase_events_;
    int cancels_ = 0;
    int event_resets_ = 0;
};

}  // namespace simulator
