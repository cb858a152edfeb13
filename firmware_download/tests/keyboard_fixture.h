#pragma once
// The in-process simulated keyboards on a fake clock, as the firmware tool finds them (the
// Sparrow with its alternate identity), collecting every frame the PC sends with its time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware_download/firmware_protocol.h"
#include "simulator/frame_log.h"
#include "simulator/inprocess_host.h"
#include "simulator/simulation.h"
#include "simulator/tests/test_frames.h"

namespace firmware_download {

struct SentFrame {
    double seconds = 0;  // since the simulation's origin
    hidlink::Frame frame{};
};

class KeyboardFixture : public ::testing::Test {
  protected:
    KeyboardFixture() {
        simulation_.set_log_sink([this](const std::string& line) {
            simulator::LoggedFrame logged;
            if (simulator::parse_frame_line(line, logged) &&
                logged.direction == simulator::Direction::in) {
                sent_.push_back({logged.seconds, logged.frame});
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
        for (const SentFrame& s : sent_) {
            n += s.frame[1] == command_byte && (byte4 < 0 || s.frame[4] == byte4);
        }
        return n;
    }

    const simulator::KeyboardState& keyboard(int model) {
        return *simulation_.keyboard_state(model);
    }

    // A fresh file in the system's temporary folder, removed with the fixture.
    std::string temp_file(const std::string& name, const std::string& bytes) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        std::filesystem::path file =
            std::filesystem::temp_directory_path() /
            (std::string("fwdl_") + info->name() + "_" + std::to_string(ticks) + "_" + name);
        std::ofstream(file, std::ios::binary) << bytes;
        files_.push_back(file);
        return file.string();
    }
    ~KeyboardFixture() override {
        std::error_code ignored;
        for (const auto& file : files_) {
            std::filesystem::remove(file, ignored);
        }
    }

    simulator::Simulation simulation_{std::vector<int>{1, 2, 3, 4}, std::vector<int>{1}};
    common::FakeClock clock_;
    simulator::InProcessHost host_{simulation_, clock_};
    hidlink::Link link_{host_, clock_, hidlink::Program::firmware_tool};
    FirmwareSession session_{link_, clock_};
    std::vector<SentFrame> sent_;
    std::vector<std::filesystem::path> files_;
};

using simulator::testing::hex;

// One S-record of type '1', '2' or '3' with its checksum (plus `checksum_delta`); `count` < 0
// gives the right count.
inline std::string s_record(char type, std::uint32_t address, const std::vector<std::uint8_t>& data,
                            int checksum_delta = 0, int count = -1) {
    const int address_bytes = type - '1' + 2;
    const int n = count >= 0 ? count : address_bytes + static_cast<int>(data.size()) + 1;
    std::string text = "S";
    text += type;
    char part[3];
    unsigned sum = static_cast<unsigned>(n);
    std::snprintf(part, sizeof part, "%02X", n & 0xFF);
    text += part;
    for (int i = address_bytes - 1; i >= 0; --i) {
        unsigned byte = (address >> (8 * i)) & 0xFF;
        sum += byte;
        std::snprintf(part, sizeof part, "%02X", byte);
        text += part;
    }
    for (std::uint8_t byte : data) {
        sum += byte;
        std::snprintf(part, sizeof part, "%02X", byte);
        text += part;
    }
    std::snprintf(part, sizeof part, "%02X", (~sum + checksum_delta) & 0xFF);
    text += part;
    return text;
}

constexpr const char* end_record = "S804000000FB";

}  // namespace firmware_download
