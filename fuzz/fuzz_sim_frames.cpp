// Any sequence of 38-byte frames into every interface of the simulated keyboard, without faults:
// nothing crashes, an interface that cannot answer stays quiet, every keyboard answers each
// frame with an ACK or a negative reply first, every reply is a sound frame, and whatever the
// keyboards keep afterwards saves and reads back.
//
// Input: records of 39 bytes, a selector byte and a frame.
//   selector bits 0-3: the interface (index in enumeration order; beyond the list an id that
//                      does not exist)
//   bit 6: seal the frame first (report ID 0, L clamped to 1 ... 35, checksum set), so the
//          fuzzer reaches the keyboards' states behind the checksum check
//   bit 7: instead of the frame, unplug (or plug again) the interface's keyboard
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/sim_checks.h"
#include "hidlink/frame.h"
#include "simulator/simulation.h"

using hidlink::Frame;
using sim_checks::expect;

namespace {

constexpr std::size_t record_size = 1 + hidlink::frame_size;

void seal(Frame& frame) {
    frame[0] = 0x00;
    frame[2] = std::clamp<std::uint8_t>(frame[2], 1, 35);
    frame[2 + frame[2]] = hidlink::frame_checksum(frame);
}

// The first reply to a request: its ACK (00 CC 01 CK) or a negative reply (00 81 02 CC CK).
void check_first_reply(const Frame& reply, std::uint8_t command) {
    const bool ack = reply[1] == command && reply[2] == 1;
    const bool nak =
        reply[1] == hidlink::negative_reply_command && reply[2] == 2 && reply[3] == command;
    expect(ack || nak, "first reply is neither the request's ACK nor a negative reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    simulator::Simulation sim({1, 2, 3, 4});
    sim.set_log_sink(sim_checks::check_log_line);
    std::uint64_t now = 1000;

    for (std::size_t at = 0; at + record_size <= size; at += record_size) {
        const std::uint8_t selector = data[at];
        Frame frame;
        std::memcpy(frame.data(), data + at + 1, frame.size());

        const std::size_t index = selector & 0x0F;
        const std::vector<simulator::InterfaceInfo>& interfaces = sim.interfaces();
        const int id =
            index < interfaces.size() ? interfaces[index].id : 1000 + static_cast<int>(index);
        const simulator::InterfaceInfo* info = sim.find_interface(id);
        now += frame[37];

        if (selector & 0x80) {
            if (info != nullptr && info->owner_model != 0) {
                std::string error;
                const std::string verb = info->plugged ? "unplug " : "plug ";
                expect(sim.apply_command(verb + std::to_string(info->owner_model), error, now),
                       "plug command refused: ", error);
            }
            continue;
        }
        if (selector & 0x40) {
            seal(frame);
        }
        const bool answers =
            info != nullptr && info->plugged && info->kind == simulator::InterfaceKind::vendor;
        const simulator::Response response = sim.on_frame(id, frame, now);
        expect(!response.unplug, "unplugged without a fault");
        if (!answers) {
            expect(response.replies.empty(), "an interface that cannot answer did");
            continue;
        }
        expect(!response.replies.empty(), "a keyboard left a frame unanswered");
        check_first_reply(response.replies.front().frame, frame[1]);
        for (const simulator::Reply& reply : response.replies) {
            sim_checks::check_reply(reply.frame, false);
            expect(reply.delay_ms == 0, "a reply delayed without a fault");
        }
    }
    sim_checks::check_plug_state(sim);
    sim_checks::check_state_round_trip(sim);
    return 0;
}
