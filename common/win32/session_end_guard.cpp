#include "common/win32/session_end_guard.h"

#include <atomic>
#include <memory>
#include <utility>

namespace common::win32 {

namespace {

// One transfer at a time in each program.
std::atomic<bool> session_end_held{false};

// Carries the reason (a heap copy, or none to release) to the window's thread.
UINT reason_message() {
    static const UINT message = RegisterWindowMessageW(L"SessionEndGuardReason");
    return message;
}

void set_block_reason(HWND window, const std::wstring* reason) {
    if (reason != nullptr) {
        ShutdownBlockReasonCreate(window, reason->c_str());
    } else {
        ShutdownBlockReasonDestroy(window);
    }
}

}  // namespace

void hold_session_end(HWND window, const std::wstring& reason, bool hold) {
    session_end_held.store(hold);
    auto text = hold ? std::make_unique<std::wstring>(reason) : nullptr;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        set_block_reason(window, text.get());
        return;
    }
    const UINT message = reason_message();
    if (message != 0 &&
        PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(text.get())) != FALSE) {
        text.release();  // the window's thread owns it now
    }
}

std::function<void(bool hold)> session_end_hold(HWND window, std::wstring reason) {
    return
        [window, reason = std::move(reason)](bool hold) { hold_session_end(window, reason, hold); };
}

bool answer_session_end(HWND dialog, UINT message, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION) {
        if (!session_end_held.load()) {
            return false;  // the default answer: the session may end
        }
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, FALSE);
        return true;
    }
    const UINT own = reason_message();
    if (own != 0 && message == own) {
        std::unique_ptr<std::wstring> reason(reinterpret_cast<std::wstring*>(lparam));
        set_block_reason(dialog, reason.get());
        return true;
    }
    return false;
}

}  // namespace common::win32
