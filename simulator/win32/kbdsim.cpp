// kbdsim.exe: the simulated keyboards on named pipes, for the tools (KBDSIM_PIPE=<name>) and
// the end-to-end tests.
//
//   kbdsim.exe --pipe NAME [--models 1,2,3,4] [--state FILE] [--log FILE] [--command "TEXT"]...
//              [--turnaround-us N]
//   kbdsim.exe --pipe NAME --send "TEXT"
//
// Serving, it prints "kbdsim ready pipe=NAME" once clients can connect and runs until its
// standard input ends or it is sent "quit". Each line on standard input is a control request
// too, answered by one line on standard output. --send passes one request to the running
// simulator, prints the answer and exits 0 (ok), 1 (error) or 2 (no simulator serves NAME).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "simclient/win32/pipes.h"
#include "simulator/simulation.h"
#include "simulator/win32/pipe_server.h"

namespace {

const char usage_text[] =
    "usage: kbdsim.exe --pipe NAME [--models 1,2,3,4] [--state FILE] [--log FILE]\n"
    "                  [--command \"TEXT\"]... [--turnaround-us N]\n"
    "       kbdsim.exe --pipe NAME --send \"TEXT\"\n";

struct Options {
    std::string pipe;
    std::string models = "1,2,3,4";
    std::string state_path;
    std::string log_path;
    std::vector<std::string> commands;
    std::uint32_t turnaround_us = 0;
    bool send = false;
    std::string send_text;
};

bool parse_options(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (i + 1 >= argc) {
            error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unexpected " + name;
            return false;
        }
        std::string value = argv[++i];
        if (name == "--pipe") {
            options.pipe = value;
        } else if (name == "--models") {
            options.models = value;
        } else if (name == "--state") {
            options.state_path = value;
        } else if (name == "--log") {
            options.log_path = value;
        } else if (name == "--command") {
            options.commands.push_back(value);
        } else if (name == "--turnaround-us") {
            char* end = nullptr;
            unsigned long us = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || us > 100000) {
                error = "--turnaround-us needs a number of microseconds up to 100000";
                return false;
            }
            options.turnaround_us = static_cast<std::uint32_t>(us);
        } else if (name == "--send") {
            options.send = true;
            options.send_text = value;
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    // The name becomes part of pipe paths: no separators, nothing a path would trip over.
    if (options.pipe.empty() || options.pipe.size() > 200 ||
        options.pipe.find_first_of("\\/:*?\"<>| ") != std::string::npos) {
        error = "--pipe needs a name without blanks or any of \\/:*?\"<>|";
        return false;
    }
    return true;
}

int send_request(const Options& options) {
    std::string answer;
    switch (simclient::win32::control_request(options.pipe, options.send_text, answer)) {
        case simclient::win32::ControlResult::no_simulator:
            std::printf("error: no simulator serves pipe %s\n", options.pipe.c_str());
            return 2;
        case simclient::win32::ControlResult::failed:
            std::printf("error: the simulator did not answer\n");
            return 1;
        case simclient::win32::ControlResult::answered:
            break;
    }
    std::fputs(answer.c_str(), stdout);
    if (answer.empty() || answer.back() != '\n') {
        std::fputc('\n', stdout);
    }
    return answer.rfind("error", 0) == 0 ? 1 : 0;
}

// Ends the process at once, with server threads still running. Not ExitProcess: it would run
// the runtime's shutdown code (stream flushing, thread-library and static clean-up) against
// threads that may be halfway through a connection, killed holding the heap's or a stream's lock
// (a hang) or still starting (a crash). Everything worth keeping is written by now.
[[noreturn]] void end_process(UINT code) {
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code);  // not reached
}

// Standard input: one request per line, one answer line each; its end stops the simulator.
void read_standard_input(simulator::win32::PipeServer& server) {
    std::string line;
    int c;
    bool quit = false;
    while (!quit && (c = std::fgetc(stdin)) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            std::string answer = server.handle_request(line, quit);
            std::printf("%s\n", answer.c_str());
            std::fflush(stdout);
        }
        line.clear();
    }
    SetEvent(server.quit_event());
}

int serve(const Options& options) {
    std::vector<int> models;
    std::vector<int> alternate_identity;
    std::string error;
    if (!simulator::parse_models(options.models, models, alternate_identity, error)) {
        std::fprintf(stderr, "kbdsim: --models: %s\n", error.c_str());
        return 1;
    }
    simulator::Simulation simulation(models, alternate_identity);
    // Frame-log times count from here, the server's clock origin.
    simulator::win32::PipeServer server(simulation, options.pipe);
    simulation.set_clock_origin(0);
    server.set_turnaround_us(options.turnaround_us);

    FILE* log = nullptr;
    if (!options.log_path.empty()) {
        log = std::fopen(options.log_path.c_str(), "ab");
        if (log == nullptr) {
            std::fprintf(stderr, "kbdsim: cannot open the frame log %s\n",
                         options.log_path.c_str());
            return 1;
        }
    }
    if (log != nullptr) {
        // Unbuffered, one write per line: a reader of the growing file never meets a line
        // split across two writes.
        std::setvbuf(log, nullptr, _IONBF, 0);
    }
    simulation.set_log_sink([log](const std::string& line) {
        if (log != nullptr) {
            std::string whole = line;
            if (whole.empty() || whole.back() != '\n') {
                whole += '\n';
            }
            std::fwrite(whole.data(), 1, whole.size(), log);
        }
    });

    if (!options.state_path.empty() && !simulation.open_state_file(options.state_path, error)) {
        std::fprintf(stderr, "kbdsim: state file %s: %s\n", options.state_path.c_str(),
                     error.c_str());
        return 1;
    }
    for (const std::string& command : options.commands) {
        if (!simulation.apply_command(command, error, server.now_ms())) {
            std::fprintf(stderr, "kbdsim: --command \"%s\": %s\n", command.c_str(), error.c_str());
            return 1;
        }
    }

    if (!server.start(error)) {
        std::fprintf(stderr, "kbdsim: %s\n", error.c_str());
        end_process(1);
    }
    std::printf("kbdsim ready pipe=%s\n", options.pipe.c_str());
    std::fflush(stdout);

    if (!simulator::win32::start_thread([&server] { read_standard_input(server); })) {
        std::fprintf(stderr, "kbdsim: cannot read standard input\n");
        end_process(1);
    }
    WaitForSingleObject(server.quit_event(), INFINITE);

    // Stop with no thread inside the Simulation: the state file and the log are complete.
    server.freeze();
    if (log != nullptr) {
        std::fclose(log);
    }
    end_process(0);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (argc < 2 || !parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "kbdsim: %s\n%s", error.empty() ? "no arguments" : error.c_str(),
                     usage_text);
        return 1;
    }
    return options.send ? send_request(options) : serve(options);
}
