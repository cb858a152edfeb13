#pragma once
// The key map operations on the keyboard: read, compare with the file key map, write, and the
// date stamp that follows a write. All of the tool's key map state lives in one KeymapSession.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "common/clock.h"
#include "hidlink/frame.h"
#include "hidlink/link.h"
#include "keymap_download/download_record.h"

namespace keymap_download {

constexpr std::uint8_t keymap_read_command = 0x11;
constexpr std::uint8_t keymap_write_command = 0x21;
constexpr std::uint8_t date_stamp_command = 0x08;
constexpr std::uint8_t keymap_date_item = 0x03;

constexpr const char* read_event = "KeyUpZEL";
constexpr const char* write_start_event = "ZELDLStart";
constexpr const char* write_data_event = "ZELDLStart";
constexpr const char* write_end_event = "ZELDLEnd";
constexpr const char* date_stamp_event = "TimeSet";

// The keyboard needs this long after a write before it takes the date stamp (GUI and batch).
constexpr std::uint32_t date_stamp_pause_ms = 12000;
// Whole-write budget of a batch run; the GUI has none.
constexpr std::uint32_t batch_write_budget_ms = 10000;
// The progress bar's range is 0 … progress_range.
constexpr int progress_range = 196;

// 00 11 02 flag checksum.
hidlink::Frame keymap_read_request(std::int16_t model_selector);
// 00 08 0C 03, the first ten bytes of `date_text` (zero where it is shorter), checksum.
hidlink::Frame date_stamp_frame(std::string_view date_text);
// (bytes_sent × 196) / keymap_length, integer division; 0 for a zero length.
int progress_value(std::size_t bytes_sent, std::size_t keymap_length);

enum class CompareOutcome { same, different, read_failed };

enum class WriteOutcome {
    ok,
    device_not_selected,  // model selector 0: nothing was sent
    start_failed,         // phase 1, keyboard not found at its start included
    data_failed,          // phase 2
    end_failed,           // phase 3
    timeout,              // the batch budget was exceeded
};

struct WriteHooks {
    // Batch runs only: end the write as `timeout` once it has taken over 10000 ms.
    bool batch_budget = false;
    // Called once the busy flag is set, before phase 1 (the GUI shows "Writing....").
    std::function<void()> on_writing;
    // After each accepted data frame, with the progress bar value 0 … 196.
    std::function<void(int progress)> on_progress;
    // Called with true just before the start frame and with false after the end frame's reply
    // (or the write's failure): a program ended in between leaves a partial key map, so the
    // dialogs refuse the end of the session meanwhile.
    std::function<void(bool hold)> hold_interruptions;
};

class KeymapSession {
  public:
    // The link and clock are the program's; the session sets the link's model selector from
    // the download record before every operation.
    KeymapSession(hidlink::Link& link, common::Clock& clock);
    KeymapSession(const KeymapSession&) = delete;
    KeymapSession& operator=(const KeymapSession&) = delete;

    // Model choice; starts as reed_record().
    DownloadRecord record = reed_record();
    // Source of a write and one side of a compare; filled by the table reader.
    std::array<std::uint8_t, file_keymap_size> file_keymap{};
    // What the last key map read received (0xFF beyond the received frames).
    std::array<std::uint8_t, keymap_buffer_size> keymap_buffer{};

    // Sets the first keymap_length bytes of the file key map to 0xFF (before every parse).
    void preset_file_keymap();

    // One phase under "KeyUpZEL". False when the selector is neither 1 nor 2 (nothing sent),
    // on any failed or refused frame, or when another read is running.
    bool read_keymap();
    CompareOutcome compare();
    // The three-phase write of the file key map. Sets the busy flag for its duration.
    WriteOutcome write_keymap(const WriteHooks& hooks = {});
    // Sleeps date_stamp_pause_ms on the session's clock.
    void pause_before_date_stamp();
    // One phase under "TimeSet"; true when the keyboard accepted it.
    bool send_date_stamp(std::string_view date_text);

    // Set while a write runs; read by the GUI thread to ignore closing.
    bool busy() const { return busy_.load(); }

    hidlink::Link& link() { return link_; }
    common::Clock& clock() { return clock_; }

  private:
    hidlink::Link& link_;
    common::Clock& clock_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> reading_{false};
};

}  // namespace keymap_download
