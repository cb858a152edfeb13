// The simulator's state file reader on any text, through Simulation::load_state as kbdsim reads
// a --state file: a refused text changes nothing; an accepted one is saved as a text that reads
// back the same, and a simulation with fewer keyboards accepts it too, ignoring the sections
// of the missing ones.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/sim_checks.h"
#include "simulator/simulation.h"

using sim_checks::expect;

namespace {

void remove_state_file();

const std::string& state_path() {
    static const std::string path = "/tmp/fuzz_sim_state." + std::to_string(getpid()) + ".ini";
    // Registered after `path`, so it runs while `path` still exists.
    [[maybe_unused]] static const bool cleanup = std::atexit(remove_state_file) == 0;
    return path;
}

void remove_state_file() {
    std::remove(state_path().c_str());
}

void write_file(const std::string& text) {
    std::ofstream out(state_path(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    expect(static_cast<bool>(out), "cannot write ", state_path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    write_file(text);

    simulator::Simulation all({1, 2, 3, 4});
    all.set_log_sink(sim_checks::check_log_line);
    const std::string before = all.state_text();
    std::string error;
    if (!all.load_state(state_path(), error)) {
        expect(error.starts_with("state file " + state_path() + ": "),
               "refusal does not name the file: ", error);
        expect(error.find("line ") != std::string::npos, "refusal does not name the line: ", error);
        expect(all.state_text() == before, "a refused state file changed the keyboards");
        sim_checks::check_plug_state(all);
        return 0;
    }
    sim_checks::check_plug_state(all);
    sim_checks::check_state_round_trip(all);

    // Loading what was saved gives the same keyboards.
    const std::string saved = all.state_text();
    write_file(saved);
    simulator::Simulation again({1, 2, 3, 4});
    expect(again.load_state(state_path(), error), "saved state is refused: ", error);
    expect(again.state_text() == saved, "saved state loads back different");

    // Keyboards 1 and 3 only, in another order: the same text is accepted, and the two
    // keyboards end as in the full simulation.
    write_file(text);
    simulator::Simulation some({3, 1});
    expect(some.load_state(state_path(), error), "fewer keyboards refuse the text: ", error);
    for (int model : {1, 3}) {
        expect(*some.keyboard_state(model) == *all.keyboard_state(model),
               "a keyboard reads the text differently when others are missing");
    }
    expect(some.keyboard_state(2) == nullptr && some.keyboard_state(4) == nullptr,
           "sections of missing keyboards created them");
    sim_checks::check_plug_state(some);
    return 0;
}
