#pragma once
// Keymap Change: the Sparrow key map write of the download tool, the 12000 ms pause at the
// end of the apply thread, and the date stamp from the time stamp field on the window thread.
// The overall result is the date stamp's.
#include <cstdint>
#include <string>
#include <string_view>

#include "hidlink/link.h"
#include "keymap_download/keymap_protocol.h"
#include "keymap_editor/keymap_layout.h"

namespace keymap_editor {

// The private messages of the setting dialog (WM_USER + n).
constexpr unsigned result_message_offset = 100;  // wParam: 1 success, 2 failure, 3 cancelled
constexpr unsigned start_request_offset = 101;
constexpr unsigned stamp_request_offset = 102;
enum ApplyResult : unsigned { apply_success = 1, apply_failure = 2, apply_cancelled = 3 };

// The time stamp field holds any text; the first ten bytes of at most this many are sent.
constexpr std::size_t max_date_text = 259;

class KeymapApply {
  public:
    // The link and clock are the program's; the link's model selector becomes 1.
    KeymapApply(hidlink::Link& link, common::Clock& clock);

    // Window thread, when the command starts: the key map and the date text to send.
    void prepare(const Keymap& keymap, std::string_view date_text);
    // Apply thread: phases 1 to 3 and, after an accepted end frame, the pause. The result
    // message's wParam. The hooks are the key map write's.
    ApplyResult write_keymap(const keymap_download::WriteHooks& hooks = {});
    // Window thread, after a success: the date stamp. Sets the failure flag.
    void send_date_stamp();

    // Window thread, Read from keyboard: the Sparrow's key map as the keyboard sends it.
    // False when the read fails.
    bool read_keymap(Keymap& keymap);

    // Set when the apply thread starts; cleared only by an accepted date stamp.
    bool failed() const { return failed_; }
    void mark_started() { failed_ = true; }
    const std::string& date_text() const { return date_text_; }

  private:
    keymap_download::KeymapSession session_;
    std::string date_text_;
    bool failed_ = true;
};

}  // namespace keymap_editor
