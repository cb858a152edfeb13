#pragma once
// Decoding the input reports Sonder receives, laid out as test frames:
//   0 report ID | 1 ID | 2 Size | 3 DeviceNo | 4 SeqNo | 5 … Size-1 DataField | Size CheckSum
// DeviceNo 1 carries a key coordinate (bytes 6, 7), 3 a magnetic stripe track (track number
// in byte 6, the frame up to Size-1 is the track data), 6 a touch coordinate (7 … 10).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace report_tester {

constexpr int track_count = 4;
constexpr std::size_t track_memory_size = 256;

// "ISOtr1", "ISOtr2/JIS1", "ISOtr3", "JIS2" for tracks 1 … 4.
const char* track_label(int track);

struct TrackRead {
    int track = 0;          // 1 … 4
    std::string data_text;  // " %02X" per byte 0 … Size-1
    bool match = false;     // equal to the last read of the same track (zeros at first)
};

// What one report puts into the window; boxes without a value stay as they are.
struct DecodedReport {
    std::optional<std::string> key_coordinate;    // "12 34"
    std::optional<std::string> touch_coordinate;  // "X=398,Y=5"
    std::optional<TrackRead> track;
    std::string id, size, device_no, seq_no;  // "%02X"
    std::string data_field;                   // " %02X" per byte 5 … Size-1
    std::string checksum;                     // "%02X" of byte Size
};

const char* match_text(bool match);  // "Match" / "Not Match"

// Touch coordinate from the low and high byte: (high div 2) × 256 + low, plus 126 for an odd
// high byte, as a 16-bit signed value.
std::int16_t touch_axis(std::uint8_t low, std::uint8_t high);

// What a batch of reports received together leaves in the window: the newest value of every
// box. Decoding every report keeps the track memory right; showing only what is left keeps
// the window responsive however fast the keyboard sends.
struct WindowView {
    std::optional<std::string> key_coordinate;
    std::optional<std::string> touch_coordinate;
    std::array<std::optional<TrackRead>, track_count> tracks;
    std::optional<DecodedReport> last;  // its header boxes and "DataField"
};

void merge_into(WindowView& view, DecodedReport report);

// Decodes reports and keeps the track memory (the last read of each track) between them.
class ReportDecoder {
  public:
    // `report` is what the read delivered. Bytes behind it read as zero, as in the reader's
    // zero-filled buffer, so a Size byte pointing past the report cannot reach past it.
    DecodedReport decode(std::span<const std::uint8_t> report);

  private:
    std::array<std::array<std::uint8_t, track_memory_size>, track_count> tracks_{};
};

}  // namespace report_tester
