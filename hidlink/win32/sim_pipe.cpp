#include "hidlink/win32/sim_pipe.h"

#include <windows.h>

namespace hidlink::win32 {

namespace {

// kbdsim keeps an instance listening at all times; a client that meets the short gap between
// two instances waits this long for the next one, a few times.
constexpr DWORD busy_wait_ms = 500;
constexpr int busy_attempts = 10;
// A control answer (the listing) is a few kilobytes; this bounds a broken one.
constexpr std::size_t max_answer = 1 << 20;

}  // namespace

std::string control_pipe_path(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

std::string interface_pipe_path(const std::string& name, int interface_id) {
    return control_pipe_path(name) + ".if" + std::to_string(interface_id);
}

ControlResult control_request(const std::string& name, const std::string& request,
                              std::string& answer) {
    answer.clear();
    const std::string path = control_pipe_path(name);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < busy_attempts; ++attempt) {
        pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        if (pipe != INVALID_HANDLE_VALUE || GetLastError() != ERROR_PIPE_BUSY) {
            break;
        }
        WaitNamedPipeA(path.c_str(), busy_wait_ms);
    }
    if (pipe == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_PIPE_BUSY
                   ? ControlResult::no_simulator
                   : ControlResult::failed;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    DWORD written = 0;
    bool ok =
        SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) &&
        WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &written, nullptr) &&
        written == request.size();
    // One answer message, read in pieces when it is longer than the buffer.
    while (ok) {
        char chunk[4096];
        DWORD got = 0;
        BOOL done = ReadFile(pipe, chunk, sizeof chunk, &got, nullptr);
        if (!done && GetLastError() != ERROR_MORE_DATA) {
            ok = false;
            break;
        }
        answer.append(chunk, got);
        if (answer.size() > max_answer) {
            ok = false;
            break;
        }
        if (done) {
            break;
        }
    }
    CloseHandle(pipe);
    return ok ? ControlResult::answered : ControlResult::failed;
}

}  // namespace hidlink::win32
