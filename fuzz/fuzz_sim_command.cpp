// The simulator's control commands on any text (kbdsim's --command, --send and control pipe),
// then every request of the protocol to every interface, so the faults the commands set fire. Each
// line is one command; the whole text is tried as one command first. A first line "models <list>"
// chooses the keyboards as kbdsim's --models does.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/sim_checks.h"
#include "hidlink/frame.h"
#include "simulator/simulation.h"

using hidlink::Frame;
using sim_checks::expect;

namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

// Every request the tools send, as they build them, for a keyboard of `model`.
std::vector<Frame> requests_for(int model) {
    const std::uint8_t flag = simulator::model_flag(model);
    const std::vector<std::uint8_t> keymap(simulator::keymap_length(model), 0x5A);
    const std::vector<std::uint8_t> block(hidlink::data_bytes_per_frame, 0xA5);
    std::vector<Frame> frames;
    auto add = [&](std::uint8_t command, std::initializer_list<std::uint8_t> payload) {
        frames.push_back(hidlink::make_frame(command, std::vector<std::uint8_t>(payload)));
    };
    add(0x10, {0x00});                                                    // version
    add(0x01, {simulator::item_msr_type});                                // settings get
    add(0x00, {simulator::item_key_lockout, 0x00});                       // settings set
    add(0x08, {0x03, '2', '0', '1', '1', '-', '0', '1', '-', '0', '1'});  // key map date
    add(0x11, {flag});                                                    // key map read
    frames.push_back(hidlink::make_start_frame(0x21, flag, hidlink::sum16(keymap)));
    for (std::size_t i = 0; i < keymap.size(); i += hidlink::data_bytes_per_frame) {
        frames.push_back(hidlink::make_data_frame(
            0x21, std::span(keymap).subspan(i, hidlink::data_bytes_per_frame)));
    }
    frames.push_back(hidlink::make_end_frame(0x21));
    add(0x20, {0x00, 0xAA, 0x00, 0x05, 0x50});  // firmware init
    frames.push_back(hidlink::make_start_frame(0x20, flag, 0));
    frames.push_back(hidlink::make_data_frame(0x20, block));
    frames.push_back(hidlink::make_data_frame(0x20, block));
    frames.push_back(hidlink::make_end_frame(0x20));
    add(0x02, {0x01, 0x03});  // key click on
    add(0x03, {0x00});        // key click off
    add(0x04, {0x02, 0x00});  // buzzer on
    add(0x05, {0x00});        // buzzer off
    return frames;
}

// The model a command names: its second word.
int named_model(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() < 2 && at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r\n", at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t\r\n", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    int model = 0;
    if (words.size() == 2) {
        std::from_chars(words[1].data(), words[1].data() + words[1].size(), model);
    }
    return model;
}

bool fault_set(const simulator::Simulation& sim, int model, simulator::FaultAction action) {
    const std::vector<simulator::Fault>& faults = sim.faults(model);
    return std::any_of(faults.begin(), faults.end(),
                       [action](const simulator::Fault& f) { return f.action == action; });
}

bool badsum_fault_set(const simulator::Simulation& sim, int model) {
    return fault_set(sim, model, simulator::FaultAction::bad_checksum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines = lines_of(text);

    std::vector<int> models = {1, 2, 3, 4};
    std::vector<int> alternates;
    if (!lines.empty() && lines.front().starts_with("models ")) {
        std::string error;
        if (!simulator::parse_models(lines.front().substr(7), models, alternates, error)) {
            expect(!error.empty(), "models refused without a reason");
            return 0;
        }
        for (std::size_t i = 0; i < models.size(); ++i) {
            expect(models[i] >= 1 && models[i] <= 4,
                   "parse_models accepted a model outside 1 ... 4");
            expect(std::count(models.begin(), models.end(), models[i]) == 1,
                   "parse_models accepted a model twice");
        }
        for (int alternate : alternates) {
            expect(alternate == 1, "parse_models gave another model than 1 an alternate identity");
        }
        lines.erase(lines.begin());
    }
    simulator::Simulation sim(models, alternates);
    sim.set_log_sink(sim_checks::check_log_line);

    // A badsum fault may spoil a reply's checksum on purpose; note every keyboard that had one.
    bool may_spoil[5] = {};
    // A patch fault may change any byte of a reply on purpose, its form included.
    bool may_patch[5] = {};
    std::uint64_t now = 0;
    auto command = [&](std::string_view line) {
        std::vector<simulator::KeyboardState> before;
        std::vector<std::size_t> faults_before;
        for (int model : models) {
            before.push_back(*sim.keyboard_state(model));
            faults_before.push_back(sim.faults(model).size());
        }
        std::string error;
        if (sim.apply_command(line, error, now)) {
            // Only the keyboard the command names changes, and gets new faults.
            const int named = named_model(line);
            for (std::size_t i = 0; i < models.size(); ++i) {
                if (models[i] != named) {
                    expect(*sim.keyboard_state(models[i]) == before[i],
                           "a command changed a keyboard it does not name: ", line);
                    expect(sim.faults(models[i]).size() <= faults_before[i],
                           "a command set a fault on a keyboard it does not name: ", line);
                }
            }
            for (int model = 1; model <= 4; ++model) {
                may_spoil[model] = may_spoil[model] || badsum_fault_set(sim, model);
                may_patch[model] =
                    may_patch[model] || fault_set(sim, model, simulator::FaultAction::patch);
            }
        } else {
            expect(!error.empty(), "command refused without a reason");
        }
        now += 10;
    };
    command(text);
    for (std::string_view line : lines) {
        command(line);
    }
    sim_checks::check_plug_state(sim);

    // Every interface in enumeration order gets every request of its keyboard (the other
    // vendor's device those of model 1); unplugged ones come back before the next.
    for (const simulator::InterfaceInfo& listed : std::vector(sim.interfaces())) {
        const int model = listed.owner_model != 0 ? listed.owner_model : 1;
        for (const Frame& request : requests_for(model)) {
            const simulator::InterfaceInfo& info = *sim.find_interface(listed.id);
            const bool answers = info.plugged && info.kind == simulator::InterfaceKind::vendor;
            const simulator::Response response = sim.on_frame(info.id, request, now);
            expect(answers || response.replies.empty(), "an interface that cannot answer did");
            for (const simulator::Reply& reply : response.replies) {
                if (!may_patch[info.owner_model]) {
                    sim_checks::check_reply(reply.frame, may_spoil[info.owner_model]);
                }
            }
            if (response.unplug) {
                expect(!info.plugged, "unplug reported, not done");
            }
            now += 1;
        }
        if (listed.owner_model != 0) {
            std::string error;
            sim.apply_command("plug " + std::to_string(listed.owner_model), error, now);
        }
    }
    sim_checks::check_plug_state(sim);
    sim_checks::check_state_round_trip(sim);
    return 0;
}
