#include "common/win32/painting_pause.h"

#include <windows.h>

namespace common::win32 {

void pause_painting(Clock& clock, std::uint32_t pause_ms) {
    const std::uint64_t deadline = clock.now_ms() + pause_ms;
    for (;;) {
        const std::uint64_t now = clock.now_ms();
        if (now >= deadline) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_PAINT | QS_SENDMESSAGE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) {
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace common::win32
