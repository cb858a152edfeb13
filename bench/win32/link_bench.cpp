// link_bench.exe: how fast the HID link exchanges frames with kbdsim.exe (KBDSIM_PIPE set).
// Prints one figure per line, "name value unit":
//   exchange_roundtrip_ms        median write + read of one frame with the link's event wait
//   exchange_roundtrip_poll8_ms  the same with the old wait: Sleep(8) between result checks
//   transfer_2048_frames_s       a 64 KiB firmware transfer: 2048 data frames in one phase
// Exit code 0 when every exchange succeeded, 1 otherwise.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/clock.h"
#include "hidlink/identity.h"
#include "hidlink/link.h"
#include "hidlink/transfer.h"
#include "hidlink/win32/host_factory.h"

namespace {

constexpr std::int16_t bench_model = 1;
// The firmware transfer's initial frame: answered with a single ACK, nothing kept.
// run_link_bench.py starts kbdsim with a keyboard turnaround of 200 us, so the read is pending
// when the reply comes, as with a USB keyboard (a keyboard faster than our own write-then-read
// path would make any wait look free).
const hidlink::Frame request = [] {
    const std::uint8_t payload[] = {0x00, 0xAA, 0x00, 0x05, 0x50};
    return hidlink::make_frame(0x20, payload);
}();

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Round trips through the link's own wait (phase event, at most 8 ms per wait).
bool link_roundtrips(hidlink::Host& host, int samples, double& result_ms) {
    common::SteadyClock clock;
    hidlink::Link link(host, clock);
    link.model_selector = bench_model;
    if (!link.find_and_open()) {
        return false;
    }
    link.begin_phase("BuzzeKeyStop");
    std::vector<double> times;
    bool ok = true;
    for (int i = 0; i < samples + 10 && ok; ++i) {  // the first 10 warm up
        hidlink::Frame reply{};
        double start = now_ms();
        link.write_frame(request, hidlink::default_timeout_ms);
        ok = link.read_frame(reply, hidlink::default_timeout_ms) && hidlink::accept_reply(reply);
        if (i >= 10) {
            times.push_back(now_ms() - start);
        }
    }
    link.close();
    result_ms = median(times);
    return ok;
}

// The keyboard's interface opened directly, for the reference loop.
std::unique_ptr<hidlink::Device> open_keyboard(hidlink::Host& host) {
    const hidlink::Identity wanted = hidlink::identity_for(hidlink::Program::standard, bench_model);
    if (!host.open_interface_list()) {
        return nullptr;
    }
    std::unique_ptr<hidlink::Device> found;
    std::string path;
    for (std::uint32_t index = 0; !found; ++index) {
        hidlink::InterfaceLookup lookup = host.interface_path(index, path);
        if (lookup == hidlink::InterfaceLookup::no_more) {
            break;
        }
        std::unique_ptr<hidlink::Device> device;
        if (lookup == hidlink::InterfaceLookup::found) {
            device = host.open_device(path);
        }
        std::uint16_t vendor = 0;
        std::uint16_t product = 0;
        hidlink::Capabilities caps;
        if (device && device->attributes(vendor, product) && vendor == wanted.vendor_id &&
            product == wanted.product_id && device->capabilities(caps) &&
            caps.usage_page == hidlink::vendor_usage_page) {
            found = std::move(device);
        }
    }
    host.close_interface_list();
    return found;
}

// The old wait: check the overlapped result, Sleep(8), check again.
bool poll8_complete(hidlink::Device& device, hidlink::IoStatus status) {
    if (status == hidlink::IoStatus::failed) {
        return false;
    }
    const double start = now_ms();
    while (status == hidlink::IoStatus::pending && !device.io_complete()) {
        if (now_ms() - start > hidlink::default_timeout_ms) {
            device.cancel_io();
            return false;
        }
        Sleep(8);
    }
    device.reset_event();
    return true;
}

bool poll8_roundtrips(hidlink::Host& host, int samples, double& result_ms) {
    std::unique_ptr<hidlink::Device> device = open_keyboard(host);
    if (!device) {
        return false;
    }
    device->begin_phase("BuzzeKeyStop");
    std::vector<double> times;
    bool ok = true;
    for (int i = 0; i < samples + 2 && ok; ++i) {
        hidlink::Frame reply{};
        double start = now_ms();
        ok = poll8_complete(*device, device->start_write(request)) &&
             poll8_complete(*device, device->start_read(reply)) && hidlink::accept_reply(reply);
        if (i >= 2) {
            times.push_back(now_ms() - start);
        }
    }
    result_ms = median(times);
    return ok;
}

bool firmware_transfer(hidlink::Host& host, double& result_s) {
    common::SteadyClock clock;
    hidlink::Link link(host, clock);
    link.model_selector = bench_model;
    std::vector<std::uint8_t> image(2048 * hidlink::data_bytes_per_frame);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    hidlink::OutgoingTransfer transfer;
    transfer.command = 0x20;
    transfer.data = image;
    transfer.start_event = "ZELDLInit";
    transfer.data_event = "ZELDLData";
    transfer.end_event = "ZELDLEnd";
    double start = now_ms();
    bool ok = hidlink::send_transfer(link, transfer) == hidlink::TransferResult::ok;
    result_s = (now_ms() - start) / 1000.0;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int samples = 200;
    if (argc == 3 && std::string(argv[1]) == "--samples") {
        samples = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: link_bench [--samples N]   (with KBDSIM_PIPE set)\n");
        return 2;
    }
    std::unique_ptr<hidlink::Host> host = hidlink::make_host();
    double roundtrip_ms = 0;
    double poll8_ms = 0;
    double transfer_s = 0;
    bool ok = link_roundtrips(*host, samples, roundtrip_ms);
    std::printf("exchange_roundtrip_ms %.3f ms\n", roundtrip_ms);
    std::fflush(stdout);
    ok = poll8_roundtrips(*host, std::max(1, samples / 4), poll8_ms) && ok;
    std::printf("exchange_roundtrip_poll8_ms %.3f ms\n", poll8_ms);
    std::fflush(stdout);
    ok = firmware_transfer(*host, transfer_s) && ok;
    std::printf("transfer_2048_frames_s %.3f s\n", transfer_s);
    if (!ok) {
        std::fprintf(stderr, "link_bench: an exchange failed (is kbdsim serving model 1?)\n");
    }
    return ok ? 0 : 1;
}
