#include "simclient/win32/pipes.h"

namespace simclient::win32 {

namespace {

// A WaitNamedPipe that fails at once (the instance it would wait for went away in between)
// is followed by this pause, so the wait for a free instance never spins.
constexpr DWORD busy_retry_pause_ms = 5;
// A control answer (the listing) is a few kilobytes; this bounds a broken one.
constexpr std::size_t max_answer = 1 << 20;

enum class Io { done, more_data, failed };

// Ends one overlapped read or write of the control exchange, waiting until `deadline`
// (GetTickCount64 time). more_data: a read got the first part of a longer message. No I/O is
// left outstanding, whatever the outcome.
Io finish_io(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, ULONGLONG deadline, DWORD& bytes) {
    if (!started && GetLastError() == ERROR_IO_PENDING) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(overlapped.hEvent, left) != WAIT_OBJECT_0) {
            CancelIo(pipe);
            GetOverlappedResult(pipe, &overlapped, &bytes, TRUE);  // the buffers outlive it
            return Io::failed;
        }
    } else if (!started && GetLastError() != ERROR_MORE_DATA) {
        return Io::failed;
    }
    if (GetOverlappedResult(pipe, &overlapped, &bytes, FALSE)) {
        return Io::done;
    }
    return GetLastError() == ERROR_MORE_DATA ? Io::more_data : Io::failed;
}

}  // namespace

std::string control_pipe_path(const std::string& name) {
    return "\\\\.\\pipe\\" + name;
}

std::string interface_pipe_path(const std::string& name, int interface_id) {
    return control_pipe_path(name) + ".if" + std::to_string(interface_id);
}

HANDLE open_sim_pipe(const std::string& path, unsigned long patience_ms) {
    // kbdsim keeps instances listening at all times; all of them can still be taken for a
    // moment (several clients at once, or a slow server thread): then wait for the next one.
    const ULONGLONG deadline = GetTickCount64() + patience_ms;
    for (;;) {
        HANDLE pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) {
                return pipe;
            }
            DWORD error = GetLastError();
            CloseHandle(pipe);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        DWORD error = GetLastError();
        ULONGLONG now = GetTickCount64();
        if (error != ERROR_PIPE_BUSY || now >= deadline) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        DWORD left = static_cast<DWORD>(deadline - now);
        if (!WaitNamedPipeA(path.c_str(), left)) {
            Sleep(busy_retry_pause_ms);
        }
    }
}

ControlResult control_request(const std::string& name, const std::string& request,
                              std::string& answer, unsigned long patience_ms) {
    answer.clear();
    const ULONGLONG deadline = GetTickCount64() + patience_ms;
    HANDLE pipe = open_sim_pipe(control_pipe_path(name), patience_ms);
    if (pipe == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_PIPE_BUSY
                   ? ControlResult::no_simulator
                   : ControlResult::failed;
    }
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool ok = event != nullptr;
    if (ok) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD written = 0;
        BOOL started = WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), &written,
                                 &overlapped);
        ok = finish_io(pipe, overlapped, started, deadline, written) == Io::done &&
             written == request.size();
    }
    // One answer message, read in pieces when it is longer than the buffer.
    while (ok) {
        char chunk[4096];
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        DWORD got = 0;
        BOOL started = ReadFile(pipe, chunk, sizeof chunk, &got, &overlapped);
        Io result = finish_io(pipe, overlapped, started, deadline, got);
        if (result == Io::failed) {
            ok = false;
            break;
        }
        answer.append(chunk, got);
        if (answer.size() > max_answer) {
            ok = false;
            break;
        }
        if (result == Io::done) {
            break;
        }
    }
    CloseHandle(pipe);
    if (event != nullptr) {
        CloseHandle(event);
    }
    return ok ? ControlResult::answered : ControlResult::failed;
}

bool sim_pipe_name(std::string& name) {
    char value[256];
    DWORD length = GetEnvironmentVariableA(sim_pipe_variable, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return false;
    }
    name.assign(value, length);
    return true;
}

bool fetch_listing(const std::string& name, std::vector<ListedInterface>& listing) {
    std::string answer;
    if (control_request(name, list_request, answer) != ControlResult::answered) {
        return false;
    }
    std::string error;
    return parse_listing(answer, listing, error);
}

}  // namespace simclient::win32
