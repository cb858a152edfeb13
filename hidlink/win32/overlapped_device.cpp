#include "hidlink/win32/overlapped_device.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace hidlink::win32 {

namespace {

// How long a cancelled I/O may take to report that it has ended. Real drivers and pipes end
// it at once; this only bounds a misbehaving one.
constexpr DWORD cancel_confirm_ms = 2000;

}  // namespace

namespace {

// Both constant-initialised, so no guarded static is involved: the guard's synchronisation
// objects would stay behind every time a library using this code is unloaded.
SRWLOCK phase_events_lock = SRWLOCK_INIT;
// Made on first use and never destroyed by the static destructors: a thread still in a phase
// while the program exits must not meet a map that is gone. The events live as long as we do,
// unless a library that is being unloaded closes them (close_phase_events).
std::map<std::string, HANDLE>* phase_events = nullptr;

}  // namespace

HANDLE phase_event(const char* name) {
    AcquireSRWLockExclusive(&phase_events_lock);
    if (phase_events == nullptr) {
        phase_events = new std::map<std::string, HANDLE>;
    }
    auto found = phase_events->find(name);
    if (found != phase_events->end()) {
        HANDLE event = found->second;
        ReleaseSRWLockExclusive(&phase_events_lock);
        return event;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (event == nullptr) {
        // The name is taken by another kind of object: an unnamed event still bounds our
        // waits, which is all the event is for.
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    phase_events->emplace(name, event);
    ReleaseSRWLockExclusive(&phase_events_lock);
    return event;
}

void close_phase_events() {
    AcquireSRWLockExclusive(&phase_events_lock);
    if (phase_events != nullptr) {
        for (auto& [name, event] : *phase_events) {
            if (event != nullptr) {
                CloseHandle(event);
            }
        }
        delete phase_events;
        phase_events = nullptr;
    }
    ReleaseSRWLockExclusive(&phase_events_lock);
}

OverlappedDevice::OverlappedDevice(HANDLE handle)
    : handle_(handle), io_(std::make_unique<IoRecord>()) {}

OverlappedDevice::~OverlappedDevice() {
    if (outstanding()) {
        cancel_io();
    }
    if (outstanding()) {
        (void)io_.release();  // the system may still write into it; leaking is the safe choice
    }
    CloseHandle(handle_);
}

void OverlappedDevice::begin_phase(const char* event_name) {
    if (outstanding()) {
        cancel_io();  // a new phase never inherits I/O of the one before
    }
    if (outstanding()) {
        (void)io_.release();  // as in the destructor: the system may still write into it
        io_ = std::make_unique<IoRecord>();
        read_target_ = nullptr;
        writing_ = false;
    }
    event_ = phase_event(event_name);
    io_->overlapped = OVERLAPPED{};
    io_->overlapped.hEvent = event_;
}

IoStatus OverlappedDevice::start_write(const Frame& frame) {
    if (outstanding()) {
        return IoStatus::failed;  // one I/O at a time
    }
    // The OVERLAPPED record is shared by the phase's I/O; only the system's fields are reset.
    io_->overlapped.Internal = 0;
    io_->overlapped.InternalHigh = 0;
    std::copy(frame.begin(), frame.end(), io_->bytes);
    DWORD written = 0;
    if (WriteFile(handle_, io_->bytes, frame_size, &written, &io_->overlapped)) {
        return IoStatus::done;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        writing_ = true;
        return IoStatus::pending;
    }
    return IoStatus::failed;
}

IoStatus OverlappedDevice::start_read(Frame& buffer) {
    buffer.fill(0);
    if (outstanding()) {
        return IoStatus::failed;
    }
    io_->overlapped.Internal = 0;
    io_->overlapped.InternalHigh = 0;
    std::fill(std::begin(io_->bytes), std::end(io_->bytes), BYTE{0});
    DWORD read = 0;
    if (ReadFile(handle_, io_->bytes, frame_size, &read, &io_->overlapped)) {
        std::copy_n(io_->bytes, frame_size, buffer.begin());
        return IoStatus::done;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        read_target_ = &buffer;
        return IoStatus::pending;
    }
    return IoStatus::failed;
}

bool OverlappedDevice::io_complete() {
    if (!outstanding()) {
        return false;
    }
    DWORD transferred = 0;
    if (!GetOverlappedResult(handle_, &io_->overlapped, &transferred, FALSE)) {
        // Still pending, or ended with an error: either way nothing usable has arrived.
        return false;
    }
    if (read_target_ != nullptr) {
        std::copy_n(io_->bytes, frame_size, read_target_->begin());
    }
    read_target_ = nullptr;
    writing_ = false;
    return true;
}

void OverlappedDevice::wait_event(std::uint32_t ms) {
    if (outstanding() && HasOverlappedIoCompleted(&io_->overlapped)) {
        // Completed since the caller last looked: no wait, the next check takes it. Ended with
        // an error: its event stays signalled, so waiting on it would spin; sleep instead.
        if (static_cast<LONG>(io_->overlapped.Internal) < 0) {
            Sleep(ms);
        }
        return;
    }
    if (event_ == nullptr) {
        Sleep(ms);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    DWORD waited = WaitForSingleObject(event_, ms);
    if (waited == WAIT_FAILED) {
        Sleep(ms);
    } else if (waited == WAIT_OBJECT_0 && outstanding() &&
               !HasOverlappedIoCompleted(&io_->overlapped)) {
        // Signalled, but not by our I/O: the event is named and shared, and another process
        // may have left it set. Waiting on it again would return at once, so sleep out the
        // rest of the slice instead of spinning.
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
        if (elapsed < ms) {
            Sleep(static_cast<DWORD>(ms - elapsed));
        }
    }
}

void OverlappedDevice::reset_event() {
    if (event_ != nullptr) {
        ResetEvent(event_);
    }
}

void OverlappedDevice::cancel_io() {
    CancelIo(handle_);
    if (outstanding()) {
        finish_cancel();
    }
}

void OverlappedDevice::finish_cancel() {
    // The cancelled I/O ends asynchronously; until it has, the system may still write into
    // the record. The phase event is shared by name, so its signal is not proof: look at the
    // record itself.
    const ULONGLONG start = GetTickCount64();
    while (!HasOverlappedIoCompleted(&io_->overlapped)) {
        if (GetTickCount64() - start > cancel_confirm_ms) {
            return;  // still outstanding: the destructor will not free the record
        }
        if (event_ == nullptr || WaitForSingleObject(event_, 1) != WAIT_TIMEOUT) {
            Sleep(1);
        }
    }
    // Its completion signalled the event; leave it reset for the next wait.
    reset_event();
    read_target_ = nullptr;
    writing_ = false;
}

}  // namespace hidlink::win32
