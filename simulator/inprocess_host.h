#pragma once
// The unit tests' backend: a Host whose devices talk to a Simulation in the same process and
// whose waits advance a FakeClock, so a 5000 ms time-out costs no real time.
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
    int opens() const;            // devices opened so far
    int open_devices() const;     // devices open now
    std::vector<std::string> phase_events() const;  // begin_phase names, in order
    int cancels() const;          // cancel_io calls
};

}  // namespace simulator
