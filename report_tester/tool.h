#pragma once
// What Sonder's window decides, apart from the windows themselves: the texts it shows, the
// sequence counter, the device search's product ID and path list, write lengths.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace report_tester {

namespace messages {
constexpr const char* invalid_interface_set = "INVALID HANDLE!\r\n";
constexpr const char* destination_found = "Destination Detection\r\n";
constexpr const char* no_destination = "接続先が見つかりませんでした。\r\n";
constexpr const char* no_target_box = "No Target";
constexpr const char* open_device = "Open Device : ";
constexpr const char* invalid_handle = "INVALID_HANDLE\r\n";
constexpr const char* preparsed_data_error = "HidD_GetPreparsedData error\r\n";
constexpr const char* caps_error = "HidP_GetCaps error\r\n";
constexpr const char* syntax_error = "送信データの記述方法に誤りがあります。\r\n";
constexpr const char* write_ok = "Write OK\r\n";
constexpr const char* write_error = "Write error\r\n";
constexpr const char* cant_create_window = "Can't create Window";
// OPEN without the HID entry points (script missing or empty, or binding failed).
constexpr const char* hid_unbound = "HID functions are not bound\r\n";
// The device search found more keyboards than the path list keeps.
constexpr const char* paths_skipped = "Device paths skipped: %d\r\n";
}  // namespace messages

// The HID entry points in binding order with the message that reports each one missing.
struct HidEntryPoint {
    const char* name;
    const char* missing_message;
};
constexpr const char* hid_library_name = "hid.dll";
constexpr const char* hid_load_error = "HID load error";
extern const HidEntryPoint hid_entry_points[9];

// Entry 0 "ReedKeyBoard" searches the Reed product ID; every other choice, also none (-1),
// the Larch product ID.
std::uint16_t product_id_for_model_choice(int selection);
std::uint16_t configured_vendor_id();

// The sequence counter runs 1 … 255 and wraps to 1.
int next_sequence(int sequence);
std::string sequence_text(int sequence);  // "%02X"

// Bytes a Send writes: the output report length, or what the text produced when that is 0.
std::size_t write_length(std::uint16_t output_length, std::size_t produced);
// How many 10 ms steps a pending write of `length` bytes is waited for.
std::uint32_t write_wait_steps(std::size_t length);

// "WriteData": the first byte, then ",%02X" for each further byte up to the output report
// length. Bytes behind `written` show as 00.
std::string write_data_text(std::span<const std::uint8_t> written, std::uint16_t output_length);

std::string report_lengths_text(std::uint16_t input_length, std::uint16_t output_length);

// The reader's buffer: at least the 5000 bytes of a read of unknown length, and never shorter
// than the input report the device announces; likewise the send buffer for the output report.
std::size_t read_buffer_size(std::uint16_t input_length);
std::size_t read_length(std::uint16_t input_length);  // 5000 when the length is 0
std::size_t send_buffer_size_for(std::uint16_t output_length);

// The device search's list: up to 10 paths of at most 800 bytes (with terminator).
class DevicePathList {
  public:
    static constexpr std::size_t max_paths = 10;
    static constexpr std::size_t max_path_bytes = 800;

    void clear();
    // False when the path does not fit or the list is full; such a path is only counted.
    bool add(const std::string& path);
    const std::vector<std::string>& paths() const { return paths_; }
    int skipped() const { return skipped_; }
    // The path OPEN opens: the first, or "" when the list is empty.
    std::string first() const;

  private:
    std::vector<std::string> paths_;
    int skipped_ = 0;
};

// The continuous-send mode: while running it writes these frames in turn, 0, 1, 2, 0 …,
// 500 ms apart: 00 02 08 04 <sequence> 06 01 <step> <checksum of bytes 0 … 7>.
constexpr std::size_t continuity_frame_size = 9;
constexpr std::uint32_t continuity_interval_ms = 500;
constexpr int continuity_steps = 3;
constexpr const char* continuity_start_caption = "Continuity";
constexpr const char* continuity_stop_caption = "Stop";
std::array<std::uint8_t, continuity_frame_size> continuity_frame(int step, int sequence);

// Close waits for the reader in rounds of a 100 ms wait and a 100 ms sleep; after this many
// rounds (about 20 s) it ends the thread.
constexpr int reader_stop_rounds = 100;
constexpr std::uint32_t reader_stop_wait_ms = 100;

}  // namespace report_tester
