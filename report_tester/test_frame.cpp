#include "report_tester/test_frame.h"

#include <cstdio>

namespace report_tester {

namespace {

std::string hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

// " %02X", appended in place (GCC 12 misreads `" " + hex2(...)` at -O3 as an overlap).
void append_spaced_hex(std::string& text, unsigned value) {
    char part[8];
    std::snprintf(part, sizeof part, " %02X", value & 0xFFu);
    text += part;
}

}  // namespace

const char* track_label(int track) {
    static const char* const labels[track_count] = {"ISOtr1", "ISOtr2/JIS1", "ISOtr3", "JIS2"};
    return track >= 1 && track <= track_count ? labels[track - 1] : "";
}

const char* match_text(bool match) {
    return match ? "Match" : "Not Match";
}

std::int16_t touch_axis(std::uint8_t low, std::uint8_t high) {
    int value = (high / 2) * 256 + low + (high % 2 == 1 ? 126 : 0);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

void merge_into(WindowView& view, DecodedReport report) {
    if (report.key_coordinate) {
        view.key_coordinate = report.key_coordinate;
    }
    if (report.touch_coordinate) {
        view.touch_coordinate = report.touch_coordinate;
    }
    if (report.track) {
        view.tracks[static_cast<std::size_t>(report.track->track - 1)] = report.track;
    }
    view.last = std::move(report);
}

DecodedReport ReportDecoder::decode(std::span<const std::uint8_t> report) {
    auto at = [&](std::size_t i) -> std::uint8_t { return i < report.size() ? report[i] : 0; };
    DecodedReport out;
    const std::size_t size = at(2);
    switch (at(3)) {
        case 1: {
            std::string key = hex2(at(6));
            append_spaced_hex(key, at(7));
            out.key_coordinate = key;
            break;
        }
        case 3: {
            const int t = at(6);
            if (t < 1 || t > track_count) {
                break;
            }
            auto& memory = tracks_[static_cast<std::size_t>(t - 1)];
            TrackRead read;
            read.track = t;
            read.match = true;
            for (std::size_t i = 0; i < size; ++i) {
                append_spaced_hex(read.data_text, at(i));
                if (at(i) != memory[i]) {  // Size is a byte: i < 255 < track_memory_size
                    read.match = false;
                }
            }
            for (std::size_t i = 0; i < track_memory_size; ++i) {
                memory[i] = at(i);
            }
            out.track = std::move(read);
            break;
        }
        case 6: {
            char text[32];
            std::snprintf(text, sizeof text, "X=%d,Y=%d", touch_axis(at(7), at(8)),
                          touch_axis(at(9), at(10)));
            out.touch_coordinate = text;
            break;
        }
        default:
            break;
    }
    out.id = hex2(at(1));
    out.size = hex2(at(2));
    out.device_no = hex2(at(3));
    out.seq_no = hex2(at(4));
    for (std::size_t i = 5; i < size; ++i) {
        append_spaced_hex(out.data_field, at(i));
    }
    out.checksum = hex2(at(size));
    return out;
}

}  // namespace report_tester
