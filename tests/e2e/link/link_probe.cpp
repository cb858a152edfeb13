// link_probe.exe: drives the real HID link (Link, transfers, make_host) from the command line
// for the end-to-end tests; with KBDSIM_PIPE set it talks to kbdsim.exe.
//
//   link_probe open <selector> [firmware]   find and open; prints the accepted identity
//   link_probe readmap <selector>           key map read ("KeyUpZEL"); prints the key map
//   link_probe exchange <selector> <event> <hex bytes>
//                                           one request phase; prints result, reply, time
//   link_probe hold <selector> <ms> [<hex bytes>]
//                                           opens, begins a "ZELDLStart" phase, prints
//                                           "holding", waits, then exchanges on that handle
//   link_probe events <name>...             whether each named event exists now
//   link_probe churn <selector> <threads> <ms>
//                                           key map read requests from several threads at
//                                           once, each a whole phase (find, open, request,
//                                           ACK, close before the data frames), for <ms>;
//                                           prints "phases <n> failed <n>" and each failure
//
// Exit codes: 0 success, 1 failure (not found, refused, no reply), 2 bad command line.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/link.h"
#include "hidlink/transfer.h"
#include "hidlink/win32/host_factory.h"

namespace {

void print_bytes(const char* label, const std::uint8_t* bytes, std::size_t count) {
    std::printf("%s", label);
    for (std::size_t i = 0; i < count; ++i) {
        std::printf(" %02X", bytes[i]);
    }
    std::printf("\n");
}

bool parse_selector(const char* text, std::int16_t& selector) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < -32768 || value > 32767) {
        return false;
    }
    selector = static_cast<std::int16_t>(value);
    return true;
}

// Hex bytes, given as one argument or several ("00 11 02 00 13" or 00 11 02 00 13).
bool parse_frame(const std::vector<std::string>& args, hidlink::Frame& frame) {
    frame.fill(0);
    std::size_t count = 0;
    for (const std::string& arg : args) {
        std::size_t pos = 0;
        while ((pos = arg.find_first_not_of(' ', pos)) != std::string::npos) {
            std::size_t end = arg.find(' ', pos);
            std::string word = arg.substr(pos, end == std::string::npos ? end : end - pos);
            pos = end;
            char* stop = nullptr;
            unsigned long value = std::strtoul(word.c_str(), &stop, 16);
            if (word.size() > 2 || *stop != '\0' || count == hidlink::frame_size) {
                return false;
            }
            frame[count++] = static_cast<std::uint8_t>(value);
        }
    }
    return count > 0;
}

const char* result_name(hidlink::PhaseResult result) {
    switch (result) {
        case hidlink::PhaseResult::no_device:
            return "no_device";
        case hidlink::PhaseResult::no_reply:
            return "no_reply";
        case hidlink::PhaseResult::refused:
            return "refused";
        case hidlink::PhaseResult::accepted:
            break;
    }
    return "accepted";
}

int open_command(hidlink::Link& link) {
    if (!link.find_and_open()) {
        std::printf("not found\n");
        return 1;
    }
    const hidlink::Capabilities& caps = link.capabilities();
    std::printf("found usage_page=%04X usage=%04X input=%u output=%u feature=%u\n", caps.usage_page,
                caps.usage, caps.report_length[0], caps.report_length[1], caps.report_length[2]);
    link.close();
    return 0;
}

int readmap_command(hidlink::Link& link) {
    // The Sparrow POS Keyboard's map is 6 frames (flag 0); every other model's 5 (flag 1).
    const bool sparrow = link.model_selector == 1;
    const std::uint8_t flag = sparrow ? 0 : 1;
    const std::size_t frames = sparrow ? 6 : 5;
    hidlink::Frame request = hidlink::make_frame(0x11, {&flag, 1});
    std::vector<std::uint8_t> keymap(frames * hidlink::data_bytes_per_frame);
    if (!hidlink::receive_transfer(link, "KeyUpZEL", request, frames, keymap)) {
        std::printf("failed\n");
        return 1;
    }
    print_bytes("keymap", keymap.data(), keymap.size());
    return 0;
}

int exchange_command(hidlink::Link& link, const char* event, const hidlink::Frame& request) {
    hidlink::Frame reply{};
    auto start = std::chrono::steady_clock::now();
    hidlink::PhaseResult result = hidlink::request_phase(link, event, request, reply);
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("result %s\n", result_name(result));
    print_bytes("reply", reply.data(), reply.size());
    std::printf("elapsed_ms %lld\n", static_cast<long long>(elapsed.count()));
    return result == hidlink::PhaseResult::accepted ? 0 : 1;
}

int hold_command(hidlink::Link& link, DWORD ms, const hidlink::Frame* request) {
    if (!link.find_and_open()) {
        std::printf("not found\n");
        return 1;
    }
    link.begin_phase("ZELDLStart");
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(ms);
    int code = 0;
    if (request != nullptr) {
        hidlink::Frame reply{};
        link.write_frame(*request, hidlink::default_timeout_ms);
        bool received = link.read_frame(reply, hidlink::default_timeout_ms);
        std::printf("result %s\n", !received                      ? "no_reply"
                                   : hidlink::accept_reply(reply) ? "accepted"
                                                                  : "refused");
        print_bytes("reply", reply.data(), reply.size());
        code = received && hidlink::accept_reply(reply) ? 0 : 1;
    }
    link.close();
    return code;
}

int events_command(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[i]);
        std::printf("event %s %s\n", argv[i], event != nullptr ? "exists" : "missing");
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
    return 0;
}

struct Churn {
    std::int16_t selector = 0;
    ULONGLONG until = 0;  // GetTickCount64 time
    std::atomic<long> phases{0};
    std::atomic<long> failures{0};
};

DWORD WINAPI churn_thread(void* parameter) {
    Churn& churn = *static_cast<Churn*>(parameter);
    std::unique_ptr<hidlink::Host> host = hidlink::make_host();
    common::SteadyClock clock;
    hidlink::Link link(*host, clock);
    link.model_selector = churn.selector;
    const std::uint8_t flag = churn.selector == 1 ? 0 : 1;
    const hidlink::Frame request = hidlink::make_frame(0x11, {&flag, 1});
    while (GetTickCount64() < churn.until) {
        hidlink::Frame reply{};
        auto start = std::chrono::steady_clock::now();
        hidlink::PhaseResult result = hidlink::request_phase(link, "KeyUpZEL", request, reply);
        churn.phases++;
        if (result != hidlink::PhaseResult::accepted) {
            churn.failures++;
            auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            std::printf("failure %s after %lld ms\n", result_name(result),
                        static_cast<long long>(elapsed.count()));
        }
    }
    return 0;
}

// Plain Win32 threads, as the tools have: the point is kbdsim's side.
int churn_command(std::int16_t selector, int threads, DWORD ms) {
    Churn churn;
    churn.selector = selector;
    churn.until = GetTickCount64() + ms;
    std::vector<HANDLE> handles;
    for (int i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, churn_thread, &churn, 0, nullptr);
        if (thread != nullptr) {
            handles.push_back(thread);
        }
    }
    for (HANDLE thread : handles) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    std::printf("phases %ld failed %ld\n", churn.phases.load(), churn.failures.load());
    return handles.size() == static_cast<std::size_t>(threads) && churn.failures == 0 ? 0 : 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: link_probe open <selector> [firmware]\n"
                 "       link_probe readmap <selector>\n"
                 "       link_probe exchange <selector> <event> <hex bytes>\n"
                 "       link_probe hold <selector> <ms> [<hex bytes>]\n"
                 "       link_probe events <name>...\n"
                 "       link_probe churn <selector> <threads> <ms>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string command = argv[1];
    if (command == "events") {
        return events_command(argc, argv);
    }
    std::int16_t selector = 0;
    if (argc < 3 || !parse_selector(argv[2], selector)) {
        return usage();
    }
    bool firmware = command == "open" && argc == 4 && std::string(argv[3]) == "firmware";
    std::unique_ptr<hidlink::Host> host = hidlink::make_host();
    common::SteadyClock clock;
    hidlink::Link link(*host, clock,
                       firmware ? hidlink::Program::firmware_tool : hidlink::Program::standard);
    link.model_selector = selector;

    int result = 2;
    if (command == "open" && (argc == 3 || firmware)) {
        result = open_command(link);
    } else if (command == "readmap" && argc == 3) {
        result = readmap_command(link);
    } else if (command == "exchange" && argc >= 5) {
        hidlink::Frame request{};
        if (!parse_frame({argv + 4, argv + argc}, request)) {
            return usage();
        }
        result = exchange_command(link, argv[3], request);
    } else if (command == "hold" && argc >= 4) {
        DWORD ms = std::strtoul(argv[3], nullptr, 10);
        hidlink::Frame request{};
        if (argc > 4 && !parse_frame({argv + 4, argv + argc}, request)) {
            return usage();
        }
        result = hold_command(link, ms, argc > 4 ? &request : nullptr);
    } else if (command == "churn" && argc == 5) {
        int threads = std::atoi(argv[3]);
        if (threads < 1 || threads > 16) {
            return usage();
        }
        result = churn_command(selector, threads, std::strtoul(argv[4], nullptr, 10));
    } else {
        return usage();
    }
    std::fflush(stdout);
    return result;
}
