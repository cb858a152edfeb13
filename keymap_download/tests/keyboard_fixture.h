#pragma once
// A session on the in-process simulated keyboards (Sparrow and ReedKey PAD) with a fake
// clock, collecting every frame the PC sends as the keyboard logged it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keymap_download/keymap_protocol.h"
#include "keymap_download/tests/temp_folder.h"
#include "simulator/frame_log.h"
#include "simulator/inprocess_host.h"
#include "simulator/simulation.h"
#include "simulator/tests/test_frames.h"

namespace keymap_download {

class KeyboardFixture : public TempFolder {
  protected:
    KeyboardFixture() {
        simulation_.set_log_sink([this](const std::string& line) {
            simulator::LoggedFrame logged;
            if (simulator::parse_frame_line(line, logged) &&
                logged.direction == simulator::Direction::in) {
                sent_.push_back(logged.frame);
            }
        });
    }

    void command(const std::string& text) {
        std::string error;
        ASSERT_TRUE(simulation_.apply_command(text, error)) << text << ": " << error;
    }

    // Frames sent with a command byte (and sub-code byte 4, unless -1).
    int count_sent(std::uint8_t command_byte, int byte4 = -1) const {
        int n = 0;
        for (const hidlink::Frame& f : sent_) {
            n += f[1] == command_byte && (byte4 < 0 || f[4] == byte4);
        }
        return n;
    }

    const std::vector<std::uint8_t>& keyboard_keymap(int model) {
        return simulation_.keyboard_state(model)->keymap;
    }
    std::string keyboard_date(int model) {
        const auto& date = simulation_.keyboard_state(model)->keymap_date;
        return std::string(date.begin(), date.end());
    }

    simulator::Simulation simulation_{std::vector<int>{1, 2}};
    common::FakeClock clock_;
    simulator::InProcessHost host_{simulation_, clock_};
    hidlink::Link link_{host_, clock_};
    KeymapSession session_{link_, clock_};
    std::vector<hidlink::Frame> sent_;
};

using simulator::testing::hex;

}  // namespace keymap_download
