// Sonder's send-data notation: any text (first byte: the sequence number) either converts
// within the send buffer, zero behind the produced bytes, or is refused leaving nothing; what
// it produced reads back the same when written as plain hex pairs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report_tester/send_syntax.h"

using report_tester::SendBuffer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t sequence = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    SendBuffer bytes;
    std::size_t count = 12345;
    const bool ok = report_tester::convert_send_text(text, sequence, bytes, count);
    if (count > bytes.size() || count > text.size() || (!ok && count != 0)) {
        std::abort();
    }
    for (std::size_t i = count; i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            std::abort();
        }
    }
    if (!ok || count == 0) {
        return 0;
    }
    std::string plain;
    for (std::size_t i = 0; i < count; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X,", bytes[i]);
        plain += pair;
    }
    SendBuffer again;
    std::size_t again_count = 0;
    if (!report_tester::convert_send_text(plain, 0, again, again_count) || again_count != count ||
        again != bytes) {
        std::abort();
    }
    return 0;
}
