// The simulator's input report command: any text is either refused with a reason or gives a
// model 1 … 4 and a report of exactly the bytes given, zero behind them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "simulator/input_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int model = 0;
    hidlink::Frame report;
    report.fill(0xAA);
    std::string error;
    const bool ok = simulator::parse_input_report(text, model, report, error);
    if (ok && (model < 1 || model > 4 || !simulator::is_input_report_command(text))) {
        std::abort();
    }
    if (!ok && error.empty()) {
        std::abort();
    }
    return 0;
}
