#pragma once
// Overlapped I/O of one phase on an open handle, shared by the HID backend (a device handle)
// and the sim backend (a message-mode pipe handle): both run exactly this code.
#include <windows.h>

#include <memory>

#include "hidlink/device.h"

namespace hidlink::win32 {

// The named manual-reset phase event, created (initially non-signalled) on first use and kept
// open until the program exits, so every phase of every device of the process reuses it.
HANDLE phase_event(const char* name);
// Closes every phase event of the process. Only for a library about to be unloaded, when no
// device of it is open any more: its events would otherwise outlive it.
void close_phase_events();

class OverlappedDevice : public Device {
  public:
    explicit OverlappedDevice(HANDLE handle);
    // Cancels any outstanding I/O and waits for it to finish before the handle is closed, so
    // no OVERLAPPED record or buffer is written after it is gone.
    ~OverlappedDevice() override;
    OverlappedDevice(const OverlappedDevice&) = delete;
    OverlappedDevice& operator=(const OverlappedDevice&) = delete;

    void begin_phase(const char* event_name) override;
    IoStatus start_write(const Frame& frame) override;
    IoStatus start_read(Frame& buffer) override;
    bool io_complete() override;
    void wait_event(std::uint32_t ms) override;
    void reset_event() override;
    void cancel_io() override;

  protected:
    HANDLE handle() const { return handle_; }

  private:
    // The record and the bytes the system reads into or writes from. A read lands here and is
    // copied to the caller's buffer on completion, so a cancelled read never writes into the
    // caller's memory. Heap-held: if a cancel could not be confirmed it is left allocated.
    struct IoRecord {
        OVERLAPPED overlapped{};
        BYTE bytes[frame_size]{};
    };

    bool outstanding() const { return read_target_ != nullptr || writing_; }
    void finish_cancel();

    HANDLE handle_;
    HANDLE event_ = nullptr;
    std::unique_ptr<IoRecord> io_;
    Frame* read_target_ = nullptr;  // the caller's buffer of the outstanding read
    bool writing_ = false;
};

}  // namespace hidlink::win32
