#pragma once
// The firmware tool's conversations with the keyboard: the download sequence (init, pause,
// start, 2048 data frames, end), the date stamp that follows it and the version query. All of
// the tool's keyboard state lives in one FirmwareSession.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "firmware_download/srecord.h"
#include "hidlink/frame.h"
#include "hidlink/link.h"

namespace firmware_download {

constexpr std::uint8_t firmware_command = 0x20;
constexpr std::uint8_t date_stamp_command = 0x08;
constexpr std::uint8_t firmware_date_item = 0x05;
constexpr std::uint8_t version_command = 0x10;

constexpr const char* init_event = "ZELDLInit";
constexpr const char* start_event = "ZELDLStart";
constexpr const char* data_event = "ZELDLData";
constexpr const char* end_event = "ZELDLEnd";
constexpr const char* version_event = "ZELGETVer";
constexpr const char* date_stamp_event = "TimeSet";

// The keyboard prepares its flash after the init frame and settles after the end frame; both
// pauses are the keyboard's, not ours to shorten.
constexpr std::uint32_t after_init_pause_ms = 12000;
constexpr std::uint32_t date_stamp_pause_ms = 12000;
constexpr std::size_t firmware_block_count = firmware_image_size / hidlink::data_bytes_per_frame;
// The progress bar's range is 0 … progress_range.
constexpr int progress_range = 1000;

// 00 20 06 00 AA 00 05 50 25.
hidlink::Frame init_frame();
// 00 08 0C 05, the first ten bytes of `date_text` (zero where it is shorter), checksum.
hidlink::Frame date_stamp_frame(std::string_view date_text);
// 00 10 02 00 12.
hidlink::Frame version_request();
// The 16-bit sum of all 65536 image bytes.
std::uint16_t image_sum(const FirmwareImage& image);
// The bar after `blocks_sent` blocks: blocks_sent × 32000 / 65536, rounded down.
int progress_value(std::size_t blocks_sent);

// The version as text: "01.2a" for bytes 0x01 0x2A (lower-case hex digits).
std::string version_text(std::uint8_t major, std::uint8_t minor);
constexpr const char* unknown_version_text = "??.??";

// Posted to the progress dialog as wParam.
enum class DownloadOutcome { ended_normally = 1, failed = 2, canceled = 3 };

struct DownloadHooks {
    // Once the busy flag is set (the GUI shows "Writing....").
    std::function<void()> on_writing;
    // After each acknowledged data frame, with the bar value 0 … 1000.
    std::function<void(int progress)> on_progress;
};

enum class VersionStatus { ok, no_device, failed };

struct VersionResult {
    VersionStatus status = VersionStatus::failed;
    std::array<std::uint8_t, 2> version{};
};

// The text the version dialog shows for a query's result.
std::string version_text(const VersionResult& result);

class FirmwareSession {
  public:
    // The link must be the firmware tool's (hidlink::Program::firmware_tool), so that selector 1
    // finds the alternate identity and 4 the ReedMSR. The session sets its model selector before
    // every opening.
    FirmwareSession(hidlink::Link& link, common::Clock& clock);
    FirmwareSession(const FirmwareSession&) = delete;
    FirmwareSession& operator=(const FirmwareSession&) = delete;

    // 1 Sparrow, 2 Reed, 3 Larch, 4 ReedMSR.
    std::int16_t model_selector = 2;
    // Filled by the file reader; sent only when it was accepted.
    FirmwareImage image{};
    // Called with true just before the init frame puts the keyboard into download mode, and
    // with false once the sequence is over (the end frame's reply, or its failure): a program
    // killed in between leaves the keyboard without firmware, so the shell ignores Ctrl+C and
    // Ctrl+Break meanwhile, and its dialogs refuse the end of the session. Called on the thread
    // that runs the sequence.
    std::function<void(bool hold)> hold_interruptions;

    // The whole sequence; every failure ends it at once (after a failed data frame the end
    // frame is not sent). Sets the busy flag for its duration. Both pauses go through the
    // session's clock.
    DownloadOutcome download(const DownloadHooks& hooks = {});
    void pause_before_date_stamp();
    // One phase under "TimeSet"; true only when this very exchange was acknowledged.
    bool send_date_stamp(std::string_view date_text);
    // One phase under "ZELGETVer": the ACK, then the version frame.
    VersionResult query_version();

    bool busy() const { return busy_.load(); }
    // Read before each data frame: set, the data loop ends and the end frame is still sent.
    void request_cancel() { cancel_.store(true); }
    void clear_cancel() { cancel_.store(false); }
    bool cancel_requested() const { return cancel_.load(); }

  private:
    hidlink::Link& link_;
    common::Clock& clock_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> cancel_{false};
};

}  // namespace firmware_download
